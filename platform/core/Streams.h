// Streams of the class library.
//
// TStream is the abstract byte stream: Read and Write move up to Count
// bytes and return how many moved (never raising), Seek moves the 64-bit
// position and returns it (-1 when the target lies before the start or the
// device refuses, the position then unchanged). ReadBuffer and WriteBuffer
// insist on the whole count and raise EReadError "Stream read error" or
// EWriteError "Stream write error" otherwise. File-handle streams of the
// system area derive from TStream; memory and string streams are here.
//
// A stream belongs to whoever created it and is used by one thread at a
// time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Classes.h"

namespace qorv::platform {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
// The class library's older names of the same origins.
inline constexpr TSeekOrigin soFromBeginning = soBeginning;
inline constexpr TSeekOrigin soFromCurrent = soCurrent;
inline constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
  QORV_DECLARE_CLASSINFO()
public:
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  // The default seeks to the end and back; streams that know better
  // override it.
  virtual std::int64_t Size();
  // EStreamError when the stream cannot take the size.
  virtual void SetSize(std::int64_t NewSize);

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }

  void ReadBuffer(void* Buffer, std::int32_t Count);
  void WriteBuffer(const void* Buffer, std::int32_t Count);
  // Copies Count bytes from Source's position; a Count of 0 copies all of
  // Source from its start. Returns the count; EReadError/EWriteError when
  // a side runs short.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

class TMemoryStream : public TStream {
  QORV_DECLARE_CLASSINFO()
public:
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  // Growing fills with zeros; shrinking below the position moves it to the
  // new end.
  void SetSize(std::int64_t NewSize) override;

  // Valid until the next change of size.
  unsigned char* Memory() { return data_.data(); }
  const unsigned char* Memory() const { return data_.data(); }
  void Clear();
  // Replaces the content with all of Stream (from its start); position 0.
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  // EFOpenError "Cannot open file "<name>". <reason>" / EFCreateError
  // "Cannot create file "<name>". <reason>" with the expanded name.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

protected:
  std::vector<unsigned char> data_;
  std::int64_t position_ = 0;
};

// A memory stream over a text.
class TStringStream : public TMemoryStream {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TStringStream(const std::string& AString = {});
  std::string DataString() const { return std::string(data_.begin(), data_.end()); }
  // Reads up to Count bytes from the position as text.
  std::string ReadString(std::int32_t Count);
  void WriteString(const std::string& AString);
};

}  // namespace qorv::platform
