; Zonvark interface texts: Français (UTF-8)

[Messages]
MS_Error=Erreur
MS_ErrorLib=Impossible de charger la bibliothèque !
MS_ReadyStr=Prêt
MS_NAStr=N/D
MS_VideoWidth=Largeur de l'image
MS_VideoHeight=Hauteur de l'image
MS_Info=Information
MS_InfoCancel=Voulez-vous vraiment annuler ?
MS_ErrorHelp=Impossible d'afficher l'aide : aucun programme n'a pu être lancé pour l'ouvrir.

[FrmZonvark]
LabelLanguage.Caption=Changer de langue
BtnSysMinSize.Hint=Réduire
BtnSysClose.Hint=Fermer
BtnOpen.Caption=Ouvrir
BtnSave.Caption=Enregistrer en GIF
BtnHelp.Caption=Aide
LabelVideo.Caption=Vidéo d'origine
BtnPrvKeyFrame.Hint=Image clé précédente (Gauche)
BtnNextFrame.Hint=Image suivante (Maj+Droite)
BtnNextKeyFrame.Hint=Image clé suivante (Droite)
LabelWait.Caption=Traitement en cours......
BtnCancel.Caption=Annuler
LabelClip.Caption=Découper le clip
BtnSetStart.Caption=Fixer le début
BtnSetEnd.Caption=Fixer la fin
BtnGoToStart.Hint=Aller au début
BtnGoToEnd.Hint=Aller à la fin
LabelGif.Caption=GIF
LabelGifSize.Caption=Taille
ComboBoxSize.Items=100%||50%||33%||25%||20%||Sur mesure
LabelGifWidth.Caption=Largeur
LabelGifHeight.Caption=Hauteur
RadioGroupResize.Items=Étirer||Ajuster||Rogner
LabelGifSpeed.Caption=Vitesse
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=Images
ComboBoxFrameCount.Items=Vidéo d'origine||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=Couleurs
ComboBoxColor.Items=4 couleurs||8 couleurs||16 couleurs||32 couleurs||64 couleurs||128 couleurs||256 couleurs
LabelGifLoop.Caption=Boucle
PM_English.Caption=Anglais
PM_Spanish.Caption=Espagnol
PM_German.Caption=Allemand
PM_Italian.Caption=Italien
PM_French.Caption=Français
PM_Chinese.Caption=Chinois simplifié
PM_Japanese.Caption=Japonais
