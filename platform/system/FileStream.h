// Streams over file handles.
//
// THandleStream reads, writes and seeks through a file HANDLE of Files.h;
// it does not own the handle, and whoever opened it closes it after the
// stream is gone. TFileStream opens its file itself and closes it when
// destroyed. Both follow TStream's contract: Read and Write return the
// count moved (0 on a failure, which leaves the last error set), Seek
// returns the new position or -1. A stream is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/Handles.h"
#include "platform/core/Streams.h"

namespace qorv::platform {

class THandleStream : public TStream {
  QORV_DECLARE_CLASSINFO()
public:
  explicit THandleStream(HANDLE AHandle) : handle_(AHandle) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override;
  // Cuts or extends the file; the position stays unless it lay past the
  // new end. EStreamError when the file refuses.
  void SetSize(std::int64_t NewSize) override;

  HANDLE Handle() const { return handle_; }

protected:
  HANDLE handle_;
};

// Open modes: one access value, optionally or-ed with a share value
// (accepted, not enforced), or fmCreate alone.
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;
inline constexpr std::uint16_t fmCreate = 0xFF00;

class TFileStream : public THandleStream {
  QORV_DECLARE_CLASSINFO()
public:
  // fmCreate creates or empties the file for reading and writing; the open
  // modes need an existing file. Raises EFCreateError ("Cannot create file
  // "<name>". <reason>") or EFOpenError ("Cannot open file "<name>".
  // <reason>") with the expanded name and the system's text.
  TFileStream(const std::string& FileName, std::uint16_t Mode);
  ~TFileStream() override;

  const std::string& FileName() const { return fileName_; }

private:
  std::string fileName_;
};

}  // namespace qorv::platform
