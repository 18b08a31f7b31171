// Colours, fonts and pictures of the UI toolkit.
//
// TColor is the class library's colour value: 0x00BBGGRR for a plain colour,
// or a system colour (clBtnFace, clWindowText, ...) whose top byte is 0x80 and
// whose low byte is the system colour index; ColorToRGB resolves those to the
// fixed palette this layer uses on every backend.
//
// TFont and TPicture are persistent objects owned by their control; a change
// calls the owner's OnChange so the control can tell its backend. Pictures
// decode in memory, on the calling thread, with no toolkit involved:
//  - TJPEGImage: baseline and progressive JPEG through libjpeg, converted to
//    8-bit RGB (greyscale and CMYK are converted too).
//  - TBitmap: Windows BMP files (1, 4, 8, 24 and 32 bits per pixel,
//    uncompressed), or pixels set by code.
//  - TIcon: Windows ICO or PNG data; decoded (largest image) through
//    gdk-pixbuf when pixels are asked for; the raw bytes are kept for window
//    icons.
// A stream or resource that cannot be decoded raises EInvalidGraphic with the
// reason, and leaves the picture as it was.
//
// In a form description a picture is stored by reference to an embedded
// resource: `Picture.Resource = 'SPLASH'` loads the resource of that name,
// looked up with the types "JPEG", "RCDATA", "BMP", "ICO" and "PNG" in that
// order; the format is recognised from the data, not the type. The same works
// for a form's `Icon.Resource`. Threads: main thread for anything attached to
// a control; a free-standing graphic may be decoded on any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/core/Classes.h"

namespace qorv::platform {

QORV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

class TStream;
class TFiler;

using TColor = std::int32_t;

inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clInfoBk = clSystemColor | 24;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// 0x00BBGGRR for any colour; system colours from the fixed palette.
std::uint32_t ColorToRGB(TColor color);
// "clBtnFace" for a named colour, "$00RRGGBB"-style hex ("$00BBGGRR" as the
// class library writes it) otherwise; the reverse accepts both forms and
// decimal. False for text that is neither.
std::string ColorToString(TColor color);
bool StringToColor(const std::string& text, TColor& color);

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
const EnumTypeInfo& FontStyleTypeInfo();

// Name, Height (negative: character height in pixels without internal
// leading, as form descriptions store it; positive: cell height), Size in
// points (Height = -Size * 96 / 72, rounded), Style and Color.
class TFont : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  TFont();
  void Assign(TPersistent* Source) override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);
  int Height() const { return height_; }
  void SetHeight(int value);
  int Size() const;
  void SetSize(int points);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  // The height in pixels of one text line (the cell), which labels use.
  int PixelHeight() const;

  bool operator==(const TFont& other) const;

  // Fired after every change; the owning control sets it.
  std::function<void()> OnChange;

protected:
  // Color (named or numeric) and the ignored Charset.
  void DefineProperties(TFiler& Filer) override;

private:
  void changed();
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TFontStyles style_;
  TColor color_ = clWindowText;
};

// 24-bit RGB pixels, row after row, no padding; optional alpha plane.
struct TPixels {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> RGB;    // Width * Height * 3
  std::vector<std::uint8_t> Alpha;  // empty, or Width * Height
  // 0x00RRGGBB of pixel (x, y); 0 outside the picture.
  std::uint32_t Pixel(int x, int y) const;
};

class TGraphic : public TPersistent {
public:
  bool Empty() const { return pixels().Width == 0 || pixels().Height == 0; }
  int Width() const { return pixels().Width; }
  int Height() const { return pixels().Height; }
  // Decoded pixels; empty for an empty graphic.
  virtual const TPixels& pixels() const = 0;
  // Replaces the content with the data of Stream from its position to its
  // end. EInvalidGraphic when the data is not of this class's format.
  void LoadFromStream(TStream& Stream);
  virtual void LoadFromData(std::span<const std::uint8_t> data) = 0;
  // The data as it was loaded (empty for pixels set by code).
  virtual std::span<const std::uint8_t> Data() const = 0;
  // A copy of the same class with the same content.
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
};

class TJPEGImage : public TGraphic {
  QORV_DECLARE_CLASSINFO()
public:
  const TPixels& pixels() const override { return pixels_; }
  void LoadFromData(std::span<const std::uint8_t> data) override;
  std::span<const std::uint8_t> Data() const override { return data_; }
  std::unique_ptr<TGraphic> Clone() const override;

private:
  std::vector<std::uint8_t> data_;
  TPixels pixels_;
};

class TBitmap : public TGraphic {
  QORV_DECLARE_CLASSINFO()
public:
  const TPixels& pixels() const override { return pixels_; }
  void LoadFromData(std::span<const std::uint8_t> data) override;
  std::span<const std::uint8_t> Data() const override { return data_; }
  std::unique_ptr<TGraphic> Clone() const override;
  void SetPixels(TPixels pixels);

private:
  std::vector<std::uint8_t> data_;
  TPixels pixels_;
};

class TIcon : public TGraphic {
  QORV_DECLARE_CLASSINFO()
public:
  const TPixels& pixels() const override;
  void LoadFromData(std::span<const std::uint8_t> data) override;
  std::span<const std::uint8_t> Data() const override { return data_; }
  std::unique_ptr<TGraphic> Clone() const override;
  // Loads an embedded resource (types as in the header comment); an empty
  // name clears the icon.
  void LoadFromResource(const std::string& name);
  const std::string& ResourceName() const { return resource_; }
  std::function<void()> OnChange;

protected:
  // Data: the icon file's bytes as hexadecimal, when not from a resource.
  void DefineProperties(TFiler& Filer) override;

private:
  std::vector<std::uint8_t> data_;
  mutable TPixels pixels_;
  mutable bool decoded_ = false;
  std::string resource_;
};

// Decodes data of any supported format, recognised from its first bytes.
std::unique_ptr<TGraphic> DecodeGraphic(std::span<const std::uint8_t> data);
// The bytes of an embedded resource found as described in the header
// comment; empty when there is none.
std::span<const unsigned char> FindPictureResource(const std::string& name);

// Holds one graphic (or none). Assign copies; LoadFromResource and
// LoadFromStream replace the graphic and fire OnChange.
class TPicture : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  TPicture() = default;
  void Assign(TPersistent* Source) override;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Takes a copy of Value (nullptr clears).
  void SetGraphic(const TGraphic* Value);
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  bool Empty() const { return !graphic_ || graphic_->Empty(); }

  void LoadFromStream(TStream& Stream);
  void LoadFromData(std::span<const std::uint8_t> data);
  // EInvalidGraphic "Resource <name> not found" when absent; an empty name
  // clears the picture.
  void LoadFromResource(const std::string& name);
  const std::string& ResourceName() const { return resource_; }
  void Clear();

  std::function<void()> OnChange;

protected:
  // Data: the picture file's bytes as hexadecimal, when not from a resource.
  void DefineProperties(TFiler& Filer) override;

private:
  void changed();
  std::unique_ptr<TGraphic> graphic_;
  std::string resource_;
};

}  // namespace qorv::platform
