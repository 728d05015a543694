; Zonvark interface texts: Deutsch (UTF-8)

[Messages]
MS_Error=Fehler
MS_ErrorLib=Bibliothek kann nicht geladen werden!
MS_ReadyStr=Bereit
MS_NAStr=k. A.
MS_VideoWidth=Bildbreite
MS_VideoHeight=Bildhöhe
MS_Info=Information
MS_InfoCancel=Wirklich abbrechen?
MS_ErrorHelp=Die Hilfe kann nicht angezeigt werden: Es ließ sich kein Programm zum Öffnen starten.

[FrmZonvark]
LabelLanguage.Caption=Sprache ändern
BtnSysMinSize.Hint=Minimieren
BtnSysClose.Hint=Schließen
BtnOpen.Caption=Öffnen
BtnSave.Caption=Als GIF speichern
BtnHelp.Caption=Hilfe
LabelVideo.Caption=Originalvideo
BtnPrvKeyFrame.Hint=Vorheriges Schlüsselbild (Links)
BtnNextFrame.Hint=Nächstes Bild (Umschalt+Rechts)
BtnNextKeyFrame.Hint=Nächstes Schlüsselbild (Rechts)
LabelWait.Caption=Bitte warten......
BtnCancel.Caption=Abbrechen
LabelClip.Caption=Clip schneiden
BtnSetStart.Caption=Start setzen
BtnSetEnd.Caption=Ende setzen
BtnGoToStart.Hint=Zum Start
BtnGoToEnd.Hint=Zum Ende
LabelGif.Caption=GIF
LabelGifSize.Caption=Größe
ComboBoxSize.Items=100%||50%||33%||25%||20%||Eigene
LabelGifWidth.Caption=Breite
LabelGifHeight.Caption=Höhe
RadioGroupResize.Items=Dehnen||Einpassen||Zuschnitt
LabelGifSpeed.Caption=Tempo
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=Bildrate
ComboBoxFrameCount.Items=Originalvideo||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=Farben
ComboBoxColor.Items=4 Farben||8 Farben||16 Farben||32 Farben||64 Farben||128 Farben||256 Farben
LabelGifLoop.Caption=Schleife
PM_English.Caption=Englisch
PM_Spanish.Caption=Spanisch
PM_German.Caption=Deutsch
PM_Italian.Caption=Italienisch
PM_French.Caption=Französisch
PM_Chinese.Caption=Chinesisch (vereinfacht)
PM_Japanese.Caption=Japanisch
