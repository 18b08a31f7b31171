#include "platform/core/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>

#include "platform/core/SysUtils.h"

namespace qorv::platform {

const TClassInfo& TStream::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TStream>("TStream", TObject::StaticClassInfo()).Build();
  return info;
}

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(ClassName() + " cannot change its size"); }

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::int64_t result = Count;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, 61440)) + 1);
  while (Count > 0) {
    auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, 61440));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    Count -= n;
  }
  return result;
}

const TClassInfo& TMemoryStream::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TMemoryStream>("TMemoryStream", TStream::StaticClassInfo()).Build();
  return info;
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || position_ >= Size()) return 0;
  auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Size() - position_));
  std::memcpy(Buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  std::int64_t end = position_ + Count;
  if (end > Size()) {
    // Write reports what it stored and never raises; memory that cannot be
    // had is a write of nothing, which WriteBuffer turns into EWriteError.
    try {
      data_.resize(static_cast<std::size_t>(end));
    } catch (const std::exception&) {
      return 0;
    }
  }
  std::memcpy(data_.data() + position_, Buffer, static_cast<std::size_t>(Count));
  position_ = end;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? position_ : Size();
  std::int64_t target = base + Offset;
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<std::size_t>(NewSize));
  if (position_ > NewSize) position_ = NewSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  std::int64_t n = Stream.Size();
  SetSize(n);
  if (n > 0) {
    std::int64_t done = 0;
    while (done < n) {
      auto chunk = static_cast<std::int32_t>(std::min<std::int64_t>(n - done, 1 << 30));
      Stream.ReadBuffer(data_.data() + done, chunk);
      done += chunk;
    }
  }
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  std::int64_t done = 0;
  while (done < Size()) {
    auto chunk = static_cast<std::int32_t>(std::min<std::int64_t>(Size() - done, 1 << 30));
    Stream.WriteBuffer(data_.data() + done, chunk);
    done += chunk;
  }
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) {
    int err = errno;
    throw EFOpenError(Format("Cannot open file \"%s\". %s", {ExpandFileName(FileName), SysErrorMessage(err)}));
  }
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    int err = errno;
    throw EReadError(Format("Cannot read file \"%s\". %s", {ExpandFileName(FileName), SysErrorMessage(err)}));
  }
  data_ = std::move(bytes);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  if (!out) {
    int err = errno;
    throw EFCreateError(Format("Cannot create file \"%s\". %s", {ExpandFileName(FileName), SysErrorMessage(err)}));
  }
  out.write(reinterpret_cast<const char*>(data_.data()), static_cast<std::streamsize>(data_.size()));
  out.close();
  if (!out) {
    int err = errno;
    throw EWriteError(Format("Cannot write file \"%s\". %s", {ExpandFileName(FileName), SysErrorMessage(err)}));
  }
}

const TClassInfo& TStringStream::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TStringStream>("TStringStream", TMemoryStream::StaticClassInfo()).Build();
  return info;
}

TStringStream::TStringStream(const std::string& AString) : TMemoryStream() {
  data_.assign(AString.begin(), AString.end());
}

std::string TStringStream::ReadString(std::int32_t Count) {
  std::string s(static_cast<std::size_t>(std::max(Count, 0)), '\0');
  s.resize(static_cast<std::size_t>(Read(s.data(), Count)));
  return s;
}

void TStringStream::WriteString(const std::string& AString) {
  WriteBuffer(AString.data(), static_cast<std::int32_t>(AString.size()));
}

}  // namespace qorv::platform
