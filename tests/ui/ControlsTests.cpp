// Controls, the timer, pictures and form loading, on the headless backend.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include "platform/core/FormStream.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "UITestSupport.h"

using namespace qorv::platform;
using qorv::platform::testing::RunUntil;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new qorv::platform::testing::HeadlessEnvironment);

struct Owned {
  std::unique_ptr<TForm> form{new TForm(nullptr)};
};

TEST(Label, AutoSizeWithoutWrapFollowsTheText) {
  Owned o;
  auto* l = new TLabel(o.form.get());
  l->SetParent(o.form.get());
  l->SetCaption("Yes!");
  const int w4 = l->Width();
  EXPECT_GT(w4, 0);
  EXPECT_EQ(l->Height(), 13);
  l->SetCaption("Yes! Yes! Yes!");
  EXPECT_GT(l->Width(), w4);
  EXPECT_EQ(l->Height(), 13);
  // The mnemonic marker takes no room.
  l->SetCaption("&OK");
  const int withAmp = l->Width();
  l->SetCaption("OK");
  EXPECT_EQ(l->Width(), withAmp);
}

TEST(Label, WordWrapKeepsTheWidthAndGrowsInHeight) {
  Owned o;
  auto* l = new TLabel(o.form.get());
  l->SetParent(o.form.get());
  l->SetBounds(45, 5, 246, 13);
  l->SetWordWrap(true);
  struct Case {
    std::string text;
    int minLines;
    int maxLines;
  } cases[] = {
      {"Short.", 1, 1},
      {"A newer version of Qorv was released.\n\nDo you want to update your version with the latest one?", 4, 5},
      {std::string(200, 'x'), 4, 6},
      {"Access to remote file \"Qorv.exe\" is password protected.\n\nPlease enter your username and password "
       "(received after registration) to continue software upgrade.",
       5, 7},
  };
  int previous = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    l->SetCaption(c.text);
    EXPECT_EQ(l->Width(), 246);
    EXPECT_EQ(l->Height() % 13, 0);
    EXPECT_GE(l->Height(), c.minLines * 13);
    EXPECT_LE(l->Height(), c.maxLines * 13);
    previous = l->Height();
  }
  // Narrower means taller.
  l->SetWidth(120);
  EXPECT_GT(l->Height(), previous);
  // AutoSize off keeps the height.
  l->SetAutoSize(false);
  l->SetCaption("Short.");
  EXPECT_GT(l->Height(), 13);
}

TEST(Edit, KeyPressFilterDropsAndReplacesKeys) {
  Owned o;
  auto* e = new TEdit(o.form.get());
  e->SetParent(o.form.get());
  int changes = 0;
  e->OnChange = TNotifyEvent(nullptr, [&](TObject*) { ++changes; });
  e->OnKeyPress = TKeyPressEvent(nullptr, [](TObject*, char& k) {
    if (k >= '0' && k <= '9') k = 0;
    else if (k == 'a') k = 'A';
  });
  struct Case {
    char key;
    char after;
    const char* text;
  } cases[] = {{'x', 'x', "x"}, {'5', 0, "x"}, {'a', 'A', "xA"}, {static_cast<char>(VK_BACK), static_cast<char>(VK_BACK), "x"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(e->TypeKey(c.key), c.after);
    EXPECT_EQ(e->Text(), c.text);
  }
  EXPECT_EQ(changes, 3);
  // The wizard's URL field: every typed key is dropped.
  e->OnKeyPress = TKeyPressEvent(nullptr, [](TObject*, char& k) { k = 0; });
  e->SetText("http://host/Qorv.exe");
  for (char k : std::string("zz\b\b")) e->TypeKey(k);
  EXPECT_EQ(e->Text(), "http://host/Qorv.exe");
}

TEST(Edit, MaxLengthAndPasswordChar) {
  Owned o;
  auto* e = new TEdit(o.form.get());
  e->SetMaxLength(4);
  e->SetText("abcdef");
  EXPECT_EQ(e->Text(), "abcd");
  e->TypeKey('g');
  EXPECT_EQ(e->Text(), "abcd");
  e->SetPasswordChar('*');
  EXPECT_EQ(e->PasswordChar(), '*');
}

TEST(ProgressBar, PositionStaysInRange) {
  Owned o;
  auto* p = new TProgressBar(o.form.get());
  struct Case {
    int set;
    int position;
  } cases[] = {{50, 50}, {-5, 0}, {100, 100}, {150, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    p->SetPosition(c.set);
    EXPECT_EQ(p->Position(), c.position);
  }
  p->SetMax(40);
  EXPECT_EQ(p->Position(), 40);
  EXPECT_DOUBLE_EQ(p->Fraction(), 1.0);
}

TEST(Button, ClickSetsTheFormsModalResultOnlyWhenEnabled) {
  Owned o;
  auto* panel = new TPanel(o.form.get());
  panel->SetParent(o.form.get());
  auto* b = new TButton(o.form.get());
  b->SetParent(panel);
  b->SetModalResult(mrYes);
  int clicks = 0;
  b->OnClick = TNotifyEvent(nullptr, [&](TObject*) { ++clicks; });
  b->SetEnabled(false);
  b->Click();
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(o.form->ModalResult(), mrNone);
  b->SetEnabled(true);
  b->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(o.form->ModalResult(), mrYes);
}

TEST(Timer, FiresOnTheMainLoopUntilDisabled) {
  Owned o;
  auto* t = new TTimer(o.form.get());
  int ticks = 0;
  t->SetInterval(20);
  t->SetOnTimer(TNotifyEvent(nullptr, [&](TObject*) {
    if (++ticks == 3) t->SetEnabled(false);
  }));
  EXPECT_TRUE(RunUntil([&] { return ticks >= 3; }, 5000));
  EXPECT_EQ(ticks, 3);
  // Disabled: nothing more arrives.
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
}

// ---------------------------------------------------------------------------
// Pictures.

std::vector<std::uint8_t> writeJpeg(int w, int h, std::uint32_t left, std::uint32_t right) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
  for (int x = 0; x < w; ++x) {
    std::uint32_t rgb = x < w / 2 ? left : right;
    row[static_cast<std::size_t>(x) * 3] = static_cast<unsigned char>(rgb >> 16);
    row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<unsigned char>(rgb >> 8);
    row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<unsigned char>(rgb);
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<std::uint8_t> out(mem, mem + size);
  std::free(mem);
  return out;
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance = 24) {
  for (int shift : {16, 8, 0}) {
    int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(x - y) > tolerance) return false;
  }
  return true;
}

TEST(Picture, JpegDecodesToRgbPixels) {
  std::vector<std::uint8_t> data = writeJpeg(64, 32, 0xE02010, 0x1040D0);
  TMemoryStream s;
  s.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
  s.SetPosition(0);
  TPicture pic;
  pic.LoadFromStream(s);
  ASSERT_NE(dynamic_cast<TJPEGImage*>(pic.Graphic()), nullptr);
  EXPECT_EQ(pic.Width(), 64);
  EXPECT_EQ(pic.Height(), 32);
  const TPixels& px = pic.Graphic()->pixels();
  struct Case {
    int x, y;
    std::uint32_t rgb;
  } cases[] = {{4, 4, 0xE02010}, {20, 28, 0xE02010}, {44, 4, 0x1040D0}, {60, 30, 0x1040D0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " got " << std::hex << px.Pixel(c.x, c.y));
    EXPECT_TRUE(near(px.Pixel(c.x, c.y), c.rgb));
  }
}

TEST(Picture, BrokenDataRaisesAndKeepsThePicture) {
  std::vector<std::uint8_t> good = writeJpeg(16, 16, 0xFFFFFF, 0);
  TPicture pic;
  pic.LoadFromData(good);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {"truncated JPEG", std::vector<std::uint8_t>(good.begin(), good.begin() + 20)},
      {"not a picture", {'h', 'e', 'l', 'l', 'o', '!'}},
      {"empty", {}},
      {"short bitmap", {'B', 'M', 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THROW(pic.LoadFromData(c.data), EInvalidGraphic);
    EXPECT_EQ(pic.Width(), 16);
  }
}

TEST(Picture, UncompressedBitmapDecodes) {
  // A 2 x 2, 24-bit bitmap, bottom row first: blue, green / red, white.
  std::vector<std::uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                                   1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  TBitmap b;
  b.LoadFromData(bmp);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.pixels().Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(b.pixels().Pixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(b.pixels().Pixel(0, 1), 0x0000FFu);
  EXPECT_EQ(b.pixels().Pixel(1, 1), 0x00FF00u);
}

TEST(Image, DestRectByStretchCenterProportional) {
  Owned o;
  auto* img = new TImage(o.form.get());
  img->SetBounds(0, 0, 118, 218);
  img->Picture()->LoadFromData(writeJpeg(59, 50, 0, 0));
  struct Case {
    bool stretch, center, proportional;
    TRect dest;
  } cases[] = {
      {false, false, false, {0, 0, 59, 50}},
      {true, false, false, {0, 0, 118, 218}},
      {false, true, false, {29, 84, 88, 134}},
      {true, true, true, {0, 59, 118, 159}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.stretch << c.center << c.proportional);
    img->SetStretch(c.stretch);
    img->SetCenter(c.center);
    img->SetProportional(c.proportional);
    EXPECT_EQ(img->DestRect(), c.dest);
  }
  img->SetAutoSize(true);
  EXPECT_EQ(img->Width(), 59);
  EXPECT_EQ(img->Height(), 50);
}

// ---------------------------------------------------------------------------
// Form loading.

class TTestDialog : public TForm {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TTestDialog(TComponent* owner, const std::string& text) : TForm(owner) {
    InitForm(text, [this] {
      OKBtn = Field<TButton>("OKBtn");
      Label1 = Field<TLabel>("Label1");
      FileURL = Field<TEdit>("FileURL");
      Timer1 = Field<TTimer>("Timer1");
    });
  }
  TButton* OKBtn = nullptr;
  TLabel* Label1 = nullptr;
  TEdit* FileURL = nullptr;
  TTimer* Timer1 = nullptr;
  std::vector<std::string> calls;
  bool fieldsAtCreate = false;

  void FormCreate(TObject*) {
    calls.push_back("FormCreate");
    fieldsAtCreate = OKBtn && Label1 && FileURL && Timer1;
  }
  void OKBtnClick(TObject* sender) { calls.push_back(sender == OKBtn ? "OKBtnClick" : "OKBtnClick?"); }
  void FileURLKeyPress(TObject*, char& key) { key = 0; }
  void FormClose(TObject*, TCloseAction& action) { action = caFree; }
  void Timer1Timer(TObject*) { calls.push_back("Timer1Timer"); }
};

const TClassInfo& TTestDialog::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TTestDialog>("TTestDialog", TForm::StaticClassInfo())
                                     .PublishedMethod("FormCreate", &TTestDialog::FormCreate)
                                     .PublishedMethod("OKBtnClick", &TTestDialog::OKBtnClick)
                                     .PublishedMethod("FileURLKeyPress", &TTestDialog::FileURLKeyPress)
                                     .PublishedMethod("FormClose", &TTestDialog::FormClose)
                                     .PublishedMethod("Timer1Timer", &TTestDialog::Timer1Timer)
                                     .Build();
  return info;
}

std::string hex(const std::vector<std::uint8_t>& d) {
  std::string s;
  for (std::uint8_t b : d) s += IntToHex(b, 2);
  return s;
}

const char* const kDialogText = R"(object TestDialog: TTestDialog
  Left = 10
  Top = 20
  BorderStyle = bsDialog
  Caption = 'Enter password'
  ClientHeight = 141
  ClientWidth = 297
  Color = clBtnFace
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  OnClose = FormClose
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Label1: TLabel
    Left = 45
    Top = 5
    Width = 246
    Height = 13
    Caption = 'label'
    WordWrap = True
  end
  object Image1: TImage
    Left = 7
    Top = 5
    Width = 32
    Height = 32
    Picture.Data = {%JPEG%}
  end
  object BottomPanel: TPanel
    Left = 0
    Top = 43
    Width = 297
    Height = 98
    Align = alBottom
    BevelOuter = bvNone
    TabOrder = 0
    object Group: TGroupBox
      Left = 5
      Top = 5
      Width = 100
      Height = 60
      Caption = ' Current file '
      object FileURL: TEdit
        Left = 10
        Top = 28
        Width = 301
        Height = 13
        BorderStyle = bsNone
        Color = clBtnFace
        Font.Style = [fsBold]
        ParentFont = False
        TabStop = False
        OnKeyPress = FileURLKeyPress
      end
      object Progress: TProgressBar
        Left = 6
        Top = 38
        Width = 307
        Height = 22
        Position = 30
      end
    end
    object OKBtn: TButton
      Left = 114
      Top = 68
      Width = 75
      Height = 23
      Caption = '&OK'
      Default = True
      ModalResult = 1
      TabOrder = 2
      OnClick = OKBtnClick
    end
  end
  object Bevel1: TBevel
    Left = 10
    Top = 238
    Width = 447
    Height = 13
    Shape = bsTopLine
  end
  object Timer1: TTimer
    Interval = 30
    OnTimer = Timer1Timer
  end
end
)";

TEST(FormLoading, ControlsPropertiesParentsAndEventsByName) {
  RegisterClass(TTestDialog::StaticClassInfo());
  std::string text = kDialogText;
  std::vector<std::uint8_t> jpeg = writeJpeg(32, 32, 0x00FF00, 0x00FF00);
  text.replace(text.find("%JPEG%"), 6, hex(jpeg));
  auto* d = new TTestDialog(Application, text);
  std::unique_ptr<TTestDialog> guard(d);

  ASSERT_EQ(d->calls, std::vector<std::string>{"FormCreate"});
  EXPECT_TRUE(d->fieldsAtCreate);
  EXPECT_EQ(d->Name(), "TestDialog");
  EXPECT_EQ(d->Caption(), "Enter password");
  EXPECT_EQ(d->BorderStyle(), bsDialog);
  EXPECT_EQ(d->ClientWidth(), 297);
  EXPECT_EQ(d->ClientHeight(), 141);
  EXPECT_EQ(d->Color(), clBtnFace);
  EXPECT_FALSE(d->Visible());

  auto* panel = dynamic_cast<TPanel*>(d->FindComponent("BottomPanel"));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Parent(), d);
  EXPECT_EQ(panel->BoundsRect(), (TRect{0, 43, 297, 141}));
  EXPECT_EQ(d->OKBtn->Parent(), panel);
  EXPECT_EQ(d->OKBtn->BoundsRect(), (TRect{114, 68, 189, 91}));
  EXPECT_TRUE(d->OKBtn->Default());
  EXPECT_EQ(d->OKBtn->ModalResult(), mrOk);
  EXPECT_EQ(d->OKBtn->TabOrder(), 2);
  EXPECT_EQ(d->OKBtn->Caption(), "&OK");
  auto* group = dynamic_cast<TGroupBox*>(d->FindComponent("Group"));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(d->FileURL->Parent(), group);
  EXPECT_EQ(d->FileURL->BorderStyle(), bsNone);
  EXPECT_TRUE(d->FileURL->Font()->Style().Contains(fsBold));
  EXPECT_FALSE(d->Label1->Font()->Style().Contains(fsBold));
  EXPECT_EQ(d->Label1->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(d->Label1->Width(), 246);
  EXPECT_TRUE(d->Label1->WordWrap());
  auto* progress = dynamic_cast<TProgressBar*>(d->FindComponent("Progress"));
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->Position(), 30);
  auto* bevel = dynamic_cast<TBevel*>(d->FindComponent("Bevel1"));
  ASSERT_NE(bevel, nullptr);
  EXPECT_EQ(bevel->Shape(), bsTopLine);
  auto* image = dynamic_cast<TImage*>(d->FindComponent("Image1"));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->Picture()->Width(), 32);
  EXPECT_TRUE(near(image->Picture()->Graphic()->pixels().Pixel(16, 16), 0x00FF00));

  // Events bound by method name.
  d->OKBtn->Click();
  EXPECT_EQ(d->calls.back(), "OKBtnClick");
  EXPECT_EQ(d->ModalResult(), mrOk);
  d->FileURL->SetText("http://h/Qorv.exe");
  d->FileURL->TypeKey('x');
  EXPECT_EQ(d->FileURL->Text(), "http://h/Qorv.exe");
  EXPECT_TRUE(RunUntil([&] { return d->calls.back() == "Timer1Timer"; }, 5000));
  d->Timer1->SetEnabled(false);

  // Written back, the description reads into an equal form.
  std::string written = WriteComponentToText(*d);
  EXPECT_NE(written.find("BorderStyle = bsDialog"), std::string::npos) << written;
  EXPECT_NE(written.find("OnClick = OKBtnClick"), std::string::npos) << written;
  // The edit's colour differs from an edit's default; the form's does not.
  EXPECT_EQ(written.find("Color = clBtnFace"), written.rfind("Color = clBtnFace")) << written;
  EXPECT_GT(written.find("Color = clBtnFace"), written.find("object FileURL")) << written;
  guard.reset();
  auto* again = new TTestDialog(Application, written);
  std::unique_ptr<TTestDialog> guard2(again);
  EXPECT_EQ(again->ClientWidth(), 297);
  EXPECT_EQ(again->ClientHeight(), 141);
  EXPECT_EQ(again->OKBtn->BoundsRect(), (TRect{114, 68, 189, 91}));
  EXPECT_EQ(again->FileURL->Parent()->Name(), "Group");
  again->Timer1->SetEnabled(false);
}

TEST(FormLoading, ErrorsNameTheProblem) {
  RegisterClass(TTestDialog::StaticClassInfo());
  struct Case {
    const char* text;
    const char* fragment;
  } cases[] = {
      {"object TestDialog: TTestDialog\n  BorderStyle = bsRound\nend\n", "bsRound"},
      {"object TestDialog: TTestDialog\n  OnCreate = NoSuchMethod\nend\n", "NoSuchMethod"},
      {"object TestDialog: TTestDialog\n  object X: TNoSuchControl\n  end\nend\n", "TNoSuchControl"},
      {"object TestDialog: TTestDialog\n  Color = clNoSuchColour\nend\n", "colour"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      TTestDialog d(nullptr, c.text);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(c.fragment), std::string::npos) << e.Message();
    }
  }
}

}  // namespace
