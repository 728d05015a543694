; Zonvark interface texts: 简体中文 (UTF-8)

[Messages]
MS_Error=错误
MS_ErrorLib=无法加载库！
MS_ReadyStr=就绪
MS_NAStr=无
MS_VideoWidth=帧宽度
MS_VideoHeight=帧高度
MS_Info=信息
MS_InfoCancel=确定要取消吗？

[FrmZonvark]
LabelLanguage.Caption=更改语言
BtnSysMinSize.Hint=最小化
BtnSysClose.Hint=关闭
BtnOpen.Caption=打开
BtnSave.Caption=保存为 GIF
BtnHelp.Caption=帮助
LabelVideo.Caption=原始视频
BtnPrvKeyFrame.Hint=上一个关键帧 (左)
BtnNextFrame.Hint=下一帧 (Shift+右)
BtnNextKeyFrame.Hint=下一个关键帧 (右)
LabelWait.Caption=正在处理......
BtnCancel.Caption=取消
LabelClip.Caption=剪辑片段
BtnSetStart.Caption=设置起点
BtnSetEnd.Caption=设置终点
BtnGoToStart.Hint=转到起点
BtnGoToEnd.Hint=转到终点
LabelGif.Caption=GIF
LabelGifSize.Caption=尺寸
ComboBoxSize.Items=100%||50%||33%||25%||20%||自定义
LabelGifWidth.Caption=宽度
LabelGifHeight.Caption=高度
RadioGroupResize.Items=拉伸||适应||裁剪
LabelGifSpeed.Caption=速度
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=帧率
ComboBoxFrameCount.Items=原始视频||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=颜色
ComboBoxColor.Items=4 色||8 色||16 色||32 色||64 色||128 色||256 色
LabelGifLoop.Caption=循环
PM_English.Caption=英语
PM_Spanish.Caption=西班牙语
PM_German.Caption=德语
PM_Italian.Caption=意大利语
PM_French.Caption=法语
PM_Chinese.Caption=简体中文
PM_Japanese.Caption=日语
