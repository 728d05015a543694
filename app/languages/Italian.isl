; Zonvark interface texts: Italiano (UTF-8)

[Messages]
MS_Error=Errore
MS_ErrorLib=Impossibile caricare la libreria!
MS_ReadyStr=Pronto
MS_NAStr=N/D
MS_VideoWidth=Larghezza fotogramma
MS_VideoHeight=Altezza fotogramma
MS_Info=Informazioni
MS_InfoCancel=Annullare davvero?
MS_ErrorHelp=Impossibile mostrare la guida: non è stato possibile avviare alcun programma per aprirla.

[FrmZonvark]
LabelLanguage.Caption=Cambia lingua
BtnSysMinSize.Hint=Riduci a icona
BtnSysClose.Hint=Chiudi
BtnOpen.Caption=Apri
BtnSave.Caption=Salva come GIF
BtnHelp.Caption=Guida
LabelVideo.Caption=Video originale
BtnPrvKeyFrame.Hint=Fotogramma chiave precedente (Sinistra)
BtnNextFrame.Hint=Fotogramma successivo (Maiusc+Destra)
BtnNextKeyFrame.Hint=Fotogramma chiave successivo (Destra)
LabelWait.Caption=Elaborazione in corso......
BtnCancel.Caption=Annulla
LabelClip.Caption=Taglia clip
BtnSetStart.Caption=Imposta inizio
BtnSetEnd.Caption=Imposta fine
BtnGoToStart.Hint=Vai all'inizio
BtnGoToEnd.Hint=Vai alla fine
LabelGif.Caption=GIF
LabelGifSize.Caption=Misura
ComboBoxSize.Items=100%||50%||33%||25%||20%||Su misura
LabelGifWidth.Caption=Larghezza
LabelGifHeight.Caption=Altezza
RadioGroupResize.Items=Allunga||Adatta||Ritaglia
LabelGifSpeed.Caption=Velocità
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=Fotogrammi
ComboBoxFrameCount.Items=Video originale||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=Colori
ComboBoxColor.Items=4 colori||8 colori||16 colori||32 colori||64 colori||128 colori||256 colori
LabelGifLoop.Caption=Ripeti
PM_English.Caption=Inglese
PM_Spanish.Caption=Spagnolo
PM_German.Caption=Tedesco
PM_Italian.Caption=Italiano
PM_French.Caption=Francese
PM_Chinese.Caption=Cinese semplificato
PM_Japanese.Caption=Giapponese
