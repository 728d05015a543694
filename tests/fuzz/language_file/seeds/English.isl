; Zonvark interface texts: English (UTF-8)

[Messages]
MS_Error=Error
MS_ErrorLib=Can not load library!
MS_ReadyStr=Ready
MS_NAStr=N/A
MS_VideoWidth=Frame Width
MS_VideoHeight=Frame Height
MS_Info=Information
MS_InfoCancel=Really want to cancel?

[FrmZonvark]
LabelLanguage.Caption=Change Language
BtnSysMinSize.Hint=Minimize
BtnSysClose.Hint=Close
BtnOpen.Caption=Open
BtnSave.Caption=Save as GIF
BtnHelp.Caption=Help
LabelVideo.Caption=Original video
BtnPrvKeyFrame.Hint=Previous key frame (Left)
BtnNextFrame.Hint=Next frame (Shift+Right)
BtnNextKeyFrame.Hint=Next key frame (Right)
LabelWait.Caption=Processing......
BtnCancel.Caption=Cancel
LabelClip.Caption=Cut Clip
BtnSetStart.Caption=Set Start
BtnSetEnd.Caption=Set End
BtnGoToStart.Hint=Go To Start
BtnGoToEnd.Hint=Go To End
LabelGif.Caption=GIF
LabelGifSize.Caption=Size
ComboBoxSize.Items=100%||50%||33%||25%||20%||Custom
LabelGifWidth.Caption=Width
LabelGifHeight.Caption=Height
RadioGroupResize.Items=Stretch||Fit||Cut
LabelGifSpeed.Caption=Speed
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=Frame rate
ComboBoxFrameCount.Items=Original video||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=Color
ComboBoxColor.Items=4 color||8 color||16 color||32 color||64 color||128 color||256 color
LabelGifLoop.Caption=Loop
PM_English.Caption=English
PM_Spanish.Caption=Spanish
PM_German.Caption=German
PM_Italian.Caption=Italian
PM_French.Caption=French
PM_Chinese.Caption=Chinese simplified
PM_Japanese.Caption=Japanese
