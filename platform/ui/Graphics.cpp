#include "platform/ui/Graphics.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <jpeglib.h>

#include "platform/core/FormStream.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/system/Resources.h"

namespace qorv::platform {

namespace {

struct NamedColor {
  TColor color;
  const char* name;
  std::uint32_t rgb;  // 0x00BBGGRR; for system colours the palette value
};

// The palette system colours resolve to on this system: a light theme close
// to the one the dialogs were laid out for.
const NamedColor kColors[] = {
    {clBlack, "clBlack", 0x000000},         {clMaroon, "clMaroon", 0x000080},
    {clGreen, "clGreen", 0x008000},         {clNavy, "clNavy", 0x800000},
    {clTeal, "clTeal", 0x808000},           {clGray, "clGray", 0x808080},
    {clSilver, "clSilver", 0xC0C0C0},       {clRed, "clRed", 0x0000FF},
    {clLime, "clLime", 0x00FF00},           {clYellow, "clYellow", 0x00FFFF},
    {clBlue, "clBlue", 0xFF0000},           {clWhite, "clWhite", 0xFFFFFF},
    {clNone, "clNone", 0xFFFFFF},           {clDefault, "clDefault", 0xF0F0F0},
    {clScrollBar, "clScrollBar", 0xC8C8C8}, {clBackground, "clBackground", 0x804000},
    {clActiveCaption, "clActiveCaption", 0xD1B499},
    {clWindow, "clWindow", 0xFFFFFF},       {clWindowText, "clWindowText", 0x000000},
    {clBtnFace, "clBtnFace", 0xF0F0F0},     {clBtnShadow, "clBtnShadow", 0xA0A0A0},
    {clGrayText, "clGrayText", 0x6D6D6D},   {clBtnText, "clBtnText", 0x000000},
    {clBtnHighlight, "clBtnHighlight", 0xFFFFFF},
    {clHighlight, "clHighlight", 0xD77800}, {clHighlightText, "clHighlightText", 0xFFFFFF},
    {clInfoBk, "clInfoBk", 0xE1FFFF},
};

}  // namespace

std::uint32_t ColorToRGB(TColor color) {
  if (color < 0 || color == clNone || color == clDefault) {
    for (const NamedColor& c : kColors)
      if (c.color == color) return c.rgb;
    return 0xF0F0F0;
  }
  return static_cast<std::uint32_t>(color) & 0xFFFFFF;
}

std::string ColorToString(TColor color) {
  for (const NamedColor& c : kColors)
    if (c.color == color) return c.name;
  return "$" + IntToHex(static_cast<std::uint32_t>(color), 8);
}

bool StringToColor(const std::string& text, TColor& color) {
  for (const NamedColor& c : kColors) {
    if (SameText(text, c.name)) {
      color = c.color;
      return true;
    }
  }
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v)) return false;
  color = static_cast<TColor>(static_cast<std::uint32_t>(v));
  return true;
}

// ---------------------------------------------------------------------------

const EnumTypeInfo& FontStyleTypeInfo() {
  static const EnumTypeInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return info;
}

namespace {

// Color may be written as a named colour (clWindowText) or a number, which
// a published integer property cannot take; controls and fonts therefore
// declare it as a pseudo-property.
void defineColor(TFiler& filer, const char* name, TColor current, TColor def, const std::function<void(TColor)>& set) {
  filer.DefineProperty(
      name,
      [set](const FormValue& v) {
        TColor c = 0;
        if (v.kind == FormValue::Kind::Integer) c = static_cast<TColor>(static_cast<std::uint32_t>(v.integer));
        else if (v.kind == FormValue::Kind::Identifier && StringToColor(v.text, c)) {
        } else
          throw EReadError("Invalid property value: a colour expected");
        set(c);
      },
      [current]() {
        for (const NamedColor& c : kColors)
          if (c.color == current) return FormValue::Identifier(c.name);
        return FormValue::Integer(current);
      },
      current != def);
}

}  // namespace

TFont::TFont() = default;

const TClassInfo& TFont::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TFont>("TFont", TPersistent::StaticClassInfo())
                                     .String("Name", &TFont::Name, &TFont::SetName, "MS Sans Serif")
                                     .Integer("Height", &TFont::Height, &TFont::SetHeight, -11)
                                     .Set("Style", FontStyleTypeInfo(), &TFont::Style, &TFont::SetStyle, TFontStyles{})
                                     .Build();
  return info;
}

void TFont::DefineProperties(TFiler& Filer) {
  defineColor(Filer, "Color", color_, clWindowText, [this](TColor c) { SetColor(c); });
  // Stored by older descriptions; this system picks the character set from
  // the text itself.
  Filer.DefineProperty("Charset", [](const FormValue&) {}, [] { return FormValue::Integer(0); }, false);
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    if (*f == *this) return;
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::SetName(const std::string& value) {
  if (value == name_) return;
  name_ = value;
  changed();
}
void TFont::SetHeight(int value) {
  if (value == height_) return;
  height_ = value;
  changed();
}
int TFont::Size() const {
  int h = height_ < 0 ? -height_ : height_;
  return (h * 72 + 48) / 96;
}
void TFont::SetSize(int points) { SetHeight(-((points * 96 + 36) / 72)); }
void TFont::SetStyle(TFontStyles value) {
  if (value == style_) return;
  style_ = value;
  changed();
}
void TFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  changed();
}
int TFont::PixelHeight() const {
  if (height_ >= 0) return height_ == 0 ? 13 : height_;
  // Character height plus the internal leading the design's fonts have:
  // -11 (8 pt) gives the 13-pixel label of the form descriptions.
  int h = -height_;
  return h + (h + 4) / 6;
}
bool TFont::operator==(const TFont& other) const {
  return name_ == other.name_ && height_ == other.height_ && style_ == other.style_ && color_ == other.color_;
}
void TFont::changed() {
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------------------

std::uint32_t TPixels::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return 0;
  std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)) * 3;
  if (i + 2 >= RGB.size()) return 0;
  return (std::uint32_t{RGB[i]} << 16) | (std::uint32_t{RGB[i + 1]} << 8) | RGB[i + 2];
}

void TGraphic::LoadFromStream(TStream& Stream) {
  std::int64_t size = Stream.Size() - Stream.Position();
  if (size < 0) size = 0;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0) Stream.ReadBuffer(bytes.data(), static_cast<std::int32_t>(size));
  LoadFromData(bytes);
}

// ---------------------------------------------------------------------------
// JPEG through libjpeg. Errors leave through longjmp; the frame that calls
// setjmp holds only plain C data, and the output lives in the caller's
// objects, so no destructor is skipped.

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
  JpegError* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

bool decodeJpeg(const std::uint8_t* data, std::size_t size, TPixels* out, char* message, std::size_t messageSize) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegErrorExit;
  err.mgr.emit_message = jpegSilence;
  err.message[0] = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::snprintf(message, messageSize, "%s", err.message);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
    cinfo.out_color_space = JCS_CMYK;
  else
    cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const std::size_t w = cinfo.output_width, h = cinfo.output_height;
  const std::size_t comps = static_cast<std::size_t>(cinfo.output_components);
  out->Width = static_cast<int>(w);
  out->Height = static_cast<int>(h);
  out->RGB.assign(w * h * 3, 0);
  out->Alpha.clear();
  out->Alpha.assign(w * comps, 0);  // one row of scratch space for the scanline
  while (cinfo.output_scanline < cinfo.output_height) {
    std::size_t y = cinfo.output_scanline;
    JSAMPROW row = out->Alpha.data();
    jpeg_read_scanlines(&cinfo, &row, 1);
    std::uint8_t* dst = out->RGB.data() + y * w * 3;
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint8_t* s = row + x * comps;
      if (comps == 4) {
        // Adobe writes inverted CMYK; K scales each channel.
        unsigned k = s[3];
        dst[x * 3] = static_cast<std::uint8_t>(s[0] * k / 255);
        dst[x * 3 + 1] = static_cast<std::uint8_t>(s[1] * k / 255);
        dst[x * 3 + 2] = static_cast<std::uint8_t>(s[2] * k / 255);
      } else if (comps == 3) {
        std::memcpy(dst + x * 3, s, 3);
      } else {
        dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = s[0];
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out->Alpha.clear();
  return true;
}

}  // namespace

const TClassInfo& TJPEGImage::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TJPEGImage>("TJPEGImage", TPersistent::StaticClassInfo()).Build();
  return info;
}

void TJPEGImage::LoadFromData(std::span<const std::uint8_t> data) {
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) throw EInvalidGraphic("JPEG error: not a JPEG file");
  TPixels px;
  char message[JMSG_LENGTH_MAX + 1] = {0};
  if (!decodeJpeg(data.data(), data.size(), &px, message, sizeof message))
    throw EInvalidGraphic(std::string("JPEG error: ") + message);
  data_.assign(data.begin(), data.end());
  pixels_ = std::move(px);
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
  auto c = std::make_unique<TJPEGImage>();
  c->data_ = data_;
  c->pixels_ = pixels_;
  return c;
}

// ---------------------------------------------------------------------------
// Windows bitmaps, uncompressed.

namespace {

std::uint32_t le32(std::span<const std::uint8_t> d, std::size_t at) {
  return std::uint32_t{d[at]} | (std::uint32_t{d[at + 1]} << 8) | (std::uint32_t{d[at + 2]} << 16) |
         (std::uint32_t{d[at + 3]} << 24);
}
std::uint16_t le16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

TPixels decodeBmp(std::span<const std::uint8_t> d) {
  auto bad = [](const char* why) -> EInvalidGraphic { return EInvalidGraphic(std::string("Bitmap image is not valid: ") + why); };
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') throw bad("no bitmap header");
  std::uint32_t offBits = le32(d, 10);
  std::uint32_t hdr = le32(d, 14);
  if (hdr < 40 || 14 + hdr > d.size()) throw bad("short header");
  std::int32_t w = static_cast<std::int32_t>(le32(d, 18));
  std::int32_t hRaw = static_cast<std::int32_t>(le32(d, 22));
  int bpp = le16(d, 28);
  std::uint32_t compression = le32(d, 30);
  std::uint32_t used = le32(d, 46);
  bool topDown = hRaw < 0;
  std::int64_t h = topDown ? -static_cast<std::int64_t>(hRaw) : hRaw;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) throw bad("bad size");
  if (compression != 0 && !(compression == 3 && bpp == 32)) throw bad("compressed bitmaps are not supported");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) throw bad("unsupported colour depth");
  std::vector<std::uint32_t> palette;
  if (bpp <= 8) {
    std::size_t n = used ? used : (std::size_t{1} << bpp);
    std::size_t at = 14 + hdr;
    if (n > 256 || at + n * 4 > d.size()) throw bad("short palette");
    for (std::size_t i = 0; i < n; ++i) palette.push_back(le32(d, at + i * 4));
  }
  std::size_t stride = ((static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp) + 31) / 32) * 4;
  if (offBits > d.size() || stride * static_cast<std::size_t>(h) > d.size() - offBits) throw bad("short pixel data");
  TPixels px;
  px.Width = w;
  px.Height = static_cast<int>(h);
  px.RGB.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  for (std::int64_t y = 0; y < h; ++y) {
    std::size_t srcRow = offBits + stride * static_cast<std::size_t>(topDown ? y : h - 1 - y);
    std::uint8_t* dst = px.RGB.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 3;
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint32_t bgr = 0;
      std::size_t ux = static_cast<std::size_t>(x);
      if (bpp == 24 || bpp == 32) {
        std::size_t at = srcRow + ux * static_cast<std::size_t>(bpp / 8);
        bgr = std::uint32_t{d[at]} | (std::uint32_t{d[at + 1]} << 8) | (std::uint32_t{d[at + 2]} << 16);
      } else {
        std::size_t bit = ux * static_cast<std::size_t>(bpp);
        unsigned byte = d[srcRow + bit / 8];
        unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        bgr = index < palette.size() ? palette[index] & 0xFFFFFF : 0;
      }
      dst[ux * 3] = static_cast<std::uint8_t>(bgr >> 16);
      dst[ux * 3 + 1] = static_cast<std::uint8_t>(bgr >> 8);
      dst[ux * 3 + 2] = static_cast<std::uint8_t>(bgr);
    }
  }
  return px;
}

// PNG, ICO and whatever else gdk-pixbuf's loaders know; the largest image
// of an icon file.
bool decodePixbuf(std::span<const std::uint8_t> d, TPixels& px, std::string& error) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GError* err = nullptr;
  bool ok = gdk_pixbuf_loader_write(loader, d.data(), d.size(), &err) && gdk_pixbuf_loader_close(loader, &err);
  GdkPixbuf* pb = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (!pb) {
    error = err ? err->message : "unknown image format";
    if (err) g_error_free(err);
    if (!ok) gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
    return false;
  }
  int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
  int n = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
  bool alpha = gdk_pixbuf_get_has_alpha(pb);
  const guchar* src = gdk_pixbuf_read_pixels(pb);
  px.Width = w;
  px.Height = h;
  px.RGB.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  px.Alpha.assign(alpha ? static_cast<std::size_t>(w) * static_cast<std::size_t>(h) : 0, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const guchar* s = src + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * n;
      std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      std::memcpy(&px.RGB[i * 3], s, 3);
      if (alpha) px.Alpha[i] = s[3];
    }
  }
  g_object_unref(loader);
  return true;
}

enum class Format { Unknown, Jpeg, Bmp, Icon };

Format sniff(std::span<const std::uint8_t> d) {
  if (d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return Format::Jpeg;
  if (d.size() >= 2 && d[0] == 'B' && d[1] == 'M') return Format::Bmp;
  if (d.size() >= 8 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') return Format::Icon;
  if (d.size() >= 6 && d[0] == 0 && d[1] == 0 && d[2] == 1 && d[3] == 0) return Format::Icon;
  return Format::Unknown;
}

}  // namespace

const TClassInfo& TBitmap::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TBitmap>("TBitmap", TPersistent::StaticClassInfo()).Build();
  return info;
}

void TBitmap::LoadFromData(std::span<const std::uint8_t> data) {
  TPixels px = decodeBmp(data);
  data_.assign(data.begin(), data.end());
  pixels_ = std::move(px);
}

void TBitmap::SetPixels(TPixels pixels) {
  if (pixels.Width < 0 || pixels.Height < 0 ||
      pixels.RGB.size() != static_cast<std::size_t>(pixels.Width) * static_cast<std::size_t>(pixels.Height) * 3)
    throw EInvalidGraphic("Bitmap image is not valid: pixel count does not match the size");
  data_.clear();
  pixels_ = std::move(pixels);
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  auto c = std::make_unique<TBitmap>();
  c->data_ = data_;
  c->pixels_ = pixels_;
  return c;
}

const TClassInfo& TIcon::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TIcon>("TIcon", TPersistent::StaticClassInfo())
                                     .String("Resource", &TIcon::ResourceName, &TIcon::LoadFromResource, "")
                                     .Build();
  return info;
}

void TIcon::DefineProperties(TFiler& Filer) {
  Filer.DefineBinaryProperty(
      "Data",
      [this](TStream& s) {
        TIcon tmp;
        tmp.LoadFromStream(s);
        data_ = std::move(tmp.data_);
        decoded_ = false;
        resource_.clear();
        if (OnChange) OnChange();
      },
      [this](TStream& s) {
        if (!data_.empty()) s.WriteBuffer(data_.data(), static_cast<std::int32_t>(data_.size()));
      },
      !data_.empty() && resource_.empty());
}

const TPixels& TIcon::pixels() const {
  if (!decoded_) {
    decoded_ = true;
    std::string error;
    pixels_ = TPixels();
    if (!data_.empty()) decodePixbuf(data_, pixels_, error);
  }
  return pixels_;
}

void TIcon::LoadFromData(std::span<const std::uint8_t> data) {
  if (sniff(data) != Format::Icon) throw EInvalidGraphic("Icon image is not valid");
  data_.assign(data.begin(), data.end());
  decoded_ = false;
  if (OnChange) OnChange();
}

void TIcon::LoadFromResource(const std::string& name) {
  if (name.empty()) {
    data_.clear();
    resource_.clear();
    decoded_ = false;
    if (OnChange) OnChange();
    return;
  }
  auto bytes = FindPictureResource(name);
  if (bytes.empty()) throw EInvalidGraphic("Resource " + name + " not found");
  LoadFromData(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  resource_ = name;
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
  auto c = std::make_unique<TIcon>();
  c->data_ = data_;
  c->resource_ = resource_;
  return c;
}

std::unique_ptr<TGraphic> DecodeGraphic(std::span<const std::uint8_t> data) {
  switch (sniff(data)) {
    case Format::Jpeg: {
      auto g = std::make_unique<TJPEGImage>();
      g->LoadFromData(data);
      return g;
    }
    case Format::Bmp: {
      auto g = std::make_unique<TBitmap>();
      g->LoadFromData(data);
      return g;
    }
    case Format::Icon: {
      auto g = std::make_unique<TIcon>();
      g->LoadFromData(data);
      if (g->Empty()) throw EInvalidGraphic("Icon image is not valid");
      return g;
    }
    case Format::Unknown:
      break;
  }
  throw EInvalidGraphic("Unknown picture file format");
}

std::span<const unsigned char> FindPictureResource(const std::string& name) {
  for (const char* type : {"JPEG", "RCDATA", "BMP", "ICO", "PNG"}) {
    auto r = FindResource(name, type);
    if (!r.empty()) return r;
  }
  return {};
}

// ---------------------------------------------------------------------------

const TClassInfo& TPicture::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TPicture>("TPicture", TPersistent::StaticClassInfo())
                                     .String("Resource", &TPicture::ResourceName, &TPicture::LoadFromResource, "")
                                     .Build();
  return info;
}

void TPicture::DefineProperties(TFiler& Filer) {
  // The picture's own file bytes, as hexadecimal in braces. Data written by
  // the class library's streaming starts with the graphic's class name as a
  // length-prefixed text; it is skipped when present.
  Filer.DefineBinaryProperty(
      "Data",
      [this](TStream& s) {
        std::int64_t size = s.Size() - s.Position();
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
        if (!bytes.empty()) s.ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        std::span<const std::uint8_t> d(bytes);
        if (!d.empty() && d[0] > 1 && d[0] < 64 && d.size() > d[0] + 1u && d[1] == 'T') d = d.subspan(d[0] + 1u);
        LoadFromData(d);
      },
      [this](TStream& s) {
        auto d = graphic_->Data();
        if (!d.empty()) s.WriteBuffer(d.data(), static_cast<std::int32_t>(d.size()));
      },
      graphic_ && resource_.empty() && !graphic_->Data().empty());
}

void TPicture::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(Source)) {
    if (p == this) return;
    graphic_ = p->graphic_ ? p->graphic_->Clone() : nullptr;
    resource_ = p->resource_;
    changed();
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::SetGraphic(const TGraphic* Value) {
  graphic_ = Value ? Value->Clone() : nullptr;
  resource_.clear();
  changed();
}

void TPicture::LoadFromStream(TStream& Stream) {
  std::int64_t size = Stream.Size() - Stream.Position();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
  if (!bytes.empty()) Stream.ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  LoadFromData(bytes);
}

void TPicture::LoadFromData(std::span<const std::uint8_t> data) {
  graphic_ = DecodeGraphic(data);
  resource_.clear();
  changed();
}

void TPicture::LoadFromResource(const std::string& name) {
  if (name.empty()) {
    Clear();
    return;
  }
  auto bytes = FindPictureResource(name);
  if (bytes.empty()) throw EInvalidGraphic("Resource " + name + " not found");
  graphic_ = DecodeGraphic(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  resource_ = name;
  changed();
}

void TPicture::Clear() {
  if (!graphic_ && resource_.empty()) return;
  graphic_.reset();
  resource_.clear();
  changed();
}

void TPicture::changed() {
  if (OnChange) OnChange();
}

}  // namespace qorv::platform
