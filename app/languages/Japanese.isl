; Zonvark interface texts: 日本語 (UTF-8)

[Messages]
MS_Error=エラー
MS_ErrorLib=ライブラリを読み込めません！
MS_ReadyStr=準備完了
MS_NAStr=なし
MS_VideoWidth=フレームの幅
MS_VideoHeight=フレームの高さ
MS_Info=情報
MS_InfoCancel=本当にキャンセルしますか？
MS_ErrorHelp=ヘルプを表示できません：開くためのプログラムを起動できませんでした。

[FrmZonvark]
LabelLanguage.Caption=言語の変更
BtnSysMinSize.Hint=最小化
BtnSysClose.Hint=閉じる
BtnOpen.Caption=開く
BtnSave.Caption=GIF として保存
BtnHelp.Caption=ヘルプ
LabelVideo.Caption=元の動画
BtnPrvKeyFrame.Hint=前のキーフレーム (左)
BtnNextFrame.Hint=次のフレーム (Shift+右)
BtnNextKeyFrame.Hint=次のキーフレーム (右)
LabelWait.Caption=処理中......
BtnCancel.Caption=キャンセル
LabelClip.Caption=クリップの切り出し
BtnSetStart.Caption=始点を設定
BtnSetEnd.Caption=終点を設定
BtnGoToStart.Hint=開始位置へ移動
BtnGoToEnd.Hint=終了位置へ移動
LabelGif.Caption=GIF
LabelGifSize.Caption=サイズ
ComboBoxSize.Items=100%||50%||33%||25%||20%||カスタム
LabelGifWidth.Caption=幅
LabelGifHeight.Caption=高さ
RadioGroupResize.Items=引き伸ばし||合わせる||切り抜き
LabelGifSpeed.Caption=速度
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=フレームレート
ComboBoxFrameCount.Items=元の動画||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=色
ComboBoxColor.Items=4 色||8 色||16 色||32 色||64 色||128 色||256 色
LabelGifLoop.Caption=ループ
PM_English.Caption=英語
PM_Spanish.Caption=スペイン語
PM_German.Caption=ドイツ語
PM_Italian.Caption=イタリア語
PM_French.Caption=フランス語
PM_Chinese.Caption=簡体字中国語
PM_Japanese.Caption=日本語
