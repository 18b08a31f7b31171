#include "platform/system/FileStream.h"

#include "platform/core/Exceptions.h"
#include "platform/core/SysUtils.h"
#include "platform/system/Files.h"

namespace qorv::platform {

const TClassInfo& THandleStream::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<THandleStream>("THandleStream", TStream::StaticClassInfo()).Build();
  return info;
}

const TClassInfo& TFileStream::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TFileStream>("TFileStream", THandleStream::StaticClassInfo()).Build();
  return info;
}

std::int32_t THandleStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  DWORD done = 0;
  if (!ReadFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
  return static_cast<std::int32_t>(done);
}

std::int32_t THandleStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  DWORD done = 0;
  if (!WriteFile(handle_, Buffer, static_cast<DWORD>(Count), &done, nullptr)) return static_cast<std::int32_t>(done);
  return static_cast<std::int32_t>(done);
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t position = 0;
  if (!SetFilePointerEx(handle_, Offset, &position, static_cast<DWORD>(Origin))) return -1;
  return position;
}

std::int64_t THandleStream::Size() {
  std::int64_t size = 0;
  if (!GetFileSizeEx(handle_, &size)) return -1;
  return size;
}

void THandleStream::SetSize(std::int64_t NewSize) {
  const std::int64_t position = Seek(0, soCurrent);
  if (NewSize < 0 || position < 0 || Seek(NewSize, soBeginning) < 0 || !SetEndOfFile(handle_)) {
    if (position >= 0) Seek(position, soBeginning);
    throw EStreamError("Stream size error");
  }
  Seek(position < NewSize ? position : NewSize, soBeginning);
}

namespace {

HANDLE openForStream(const std::string& name, std::uint16_t mode) {
  if (mode == fmCreate) {
    return CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  DWORD access = GENERIC_READ;
  switch (mode & 0x3) {
    case fmOpenWrite: access = GENERIC_WRITE; break;
    case fmOpenReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: break;
  }
  return CreateFile(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode)
    : THandleStream(openForStream(FileName, Mode)), fileName_(FileName) {
  if (handle_ == INVALID_HANDLE_VALUE) {
    const std::string reason = SysErrorMessage(GetLastError());
    const std::string expanded = ExpandFileName(FileName);
    if (Mode == fmCreate) throw EFCreateError("Cannot create file \"" + expanded + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + expanded + "\". " + reason);
  }
}

TFileStream::~TFileStream() { CloseHandle(handle_); }

}  // namespace qorv::platform
