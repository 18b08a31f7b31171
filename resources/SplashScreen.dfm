object SplashScreen: TSplashScreen
  BorderStyle = bsNone
  ClientHeight = 420
  ClientWidth = 700
  Color = clBtnFace
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Icon.Resource = 'MAINICON'
  Position = poDesktopCenter
  ShowHint = True
  OnCreate = FormCreate
  OnShow = FormShow
  object Timer1: TTimer
    Interval = 3000
    OnTimer = Timer1Timer
  end
  object WebBrowser1: TWebBrowser
    Left = 701
    Top = 304
    Width = 1016
    Height = 741
    Align = alCustom
    TabOrder = 0
    OnNavigateComplete2 = WebBrowser1NavigateComplete2
    OnDocumentComplete = WebBrowser1DocumentComplete
  end
  object Image1: TImage
    Left = 0
    Top = 0
    Width = 700
    Height = 420
    Align = alClient
    Picture.Resource = 'SPLASH'
  end
end
