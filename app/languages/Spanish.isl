; Zonvark interface texts: Español (UTF-8)

[Messages]
MS_Error=Error
MS_ErrorLib=¡No se puede cargar la biblioteca!
MS_ReadyStr=Listo
MS_NAStr=N/D
MS_VideoWidth=Ancho del fotograma
MS_VideoHeight=Alto del fotograma
MS_Info=Información
MS_InfoCancel=¿Seguro que desea cancelar?
MS_ErrorHelp=No se puede mostrar la ayuda: no se pudo iniciar ningún programa para abrirla.

[FrmZonvark]
LabelLanguage.Caption=Cambiar idioma
BtnSysMinSize.Hint=Minimizar
BtnSysClose.Hint=Cerrar
BtnOpen.Caption=Abrir
BtnSave.Caption=Guardar como GIF
BtnHelp.Caption=Ayuda
LabelVideo.Caption=Vídeo original
BtnPrvKeyFrame.Hint=Fotograma clave anterior (Izquierda)
BtnNextFrame.Hint=Fotograma siguiente (Mayús+Derecha)
BtnNextKeyFrame.Hint=Fotograma clave siguiente (Derecha)
LabelWait.Caption=Procesando......
BtnCancel.Caption=Cancelar
LabelClip.Caption=Recortar clip
BtnSetStart.Caption=Marcar inicio
BtnSetEnd.Caption=Marcar final
BtnGoToStart.Hint=Ir al inicio
BtnGoToEnd.Hint=Ir al final
LabelGif.Caption=GIF
LabelGifSize.Caption=Tamaño
ComboBoxSize.Items=100%||50%||33%||25%||20%||A medida
LabelGifWidth.Caption=Ancho
LabelGifHeight.Caption=Alto
RadioGroupResize.Items=Estirar||Ajustar||Recortar
LabelGifSpeed.Caption=Velocidad
ComboBoxSpeed.Items=50%||60%||70%||80%||90%||100%||110%||120%||130%||140%||150%||180%||200%
LabelGifFrame.Caption=Fotogramas
ComboBoxFrameCount.Items=Vídeo original||1/2||1/3||1/4||1/5||1/6||1/7||1/8||1/9||1/10
LabelGifColor.Caption=Colores
ComboBoxColor.Items=4 colores||8 colores||16 colores||32 colores||64 colores||128 colores||256 colores
LabelGifLoop.Caption=Bucle
PM_English.Caption=Inglés
PM_Spanish.Caption=Español
PM_German.Caption=Alemán
PM_Italian.Caption=Italiano
PM_French.Caption=Francés
PM_Chinese.Caption=Chino simplificado
PM_Japanese.Caption=Japonés
