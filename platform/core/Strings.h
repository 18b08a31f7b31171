// String lists of the class library.
//
// TStrings is the abstract list of text lines that controls and settings
// expose; TStringList is the plain one held in memory. Lines are byte
// strings. Text joins the lines with CR LF after each one; setting Text
// splits at CR LF, LF or CR (a last line without a break counts, an empty
// text gives no lines). Names and Values read lines of the form
// "Name=Value". IndexOf, IndexOfName and Values compare without regard to
// the case of ASCII letters, as the class library does. Assign copies the
// lines of any TStrings and fails as TPersistent does for anything else.
// A list is stored with a form as the pseudo-property "Strings", a list of
// quoted texts.
//
// An index out of range raises EListError "List index out of bounds (<n>)".
// A list belongs to its creator and is used by one thread at a time.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Classes.h"

namespace qorv::platform {

class TStream;

class TStrings : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S) = 0;
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  std::string operator[](int Index) const { return Get(Index); }
  std::string Strings(int Index) const { return Get(Index); }
  // Appends S and returns its index.
  virtual int Add(const std::string& S);
  void AddStrings(const TStrings& Strings);
  // -1 when absent.
  virtual int IndexOf(const std::string& S) const;

  std::string Text() const;
  void SetText(const std::string& Value);

  // The part before the first "=" (the whole line when there is none is not
  // a name: Names is then empty).
  std::string Names(int Index) const;
  std::string ValueFromIndex(int Index) const;
  int IndexOfName(const std::string& Name) const;
  // Empty when there is no such name.
  std::string Values(const std::string& Name) const;
  // Replaces the value of Name, or appends "Name=Value"; an empty Value
  // deletes the line.
  void SetValues(const std::string& Name, const std::string& Value);

  // Same lines in the same order, compared exactly.
  bool Equals(const TStrings& Strings) const;

  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;
  // The file's errors as TMemoryStream raises them.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  void Assign(TPersistent* Source) override;

protected:
  void DefineProperties(TFiler& Filer) override;
  [[noreturn]] void Error(int Index) const;
};

class TStringList : public TStrings {
  QORV_DECLARE_CLASSINFO()
public:
  TStringList() = default;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override { items_.clear(); }
  void Exchange(int Index1, int Index2);

private:
  std::vector<std::string> items_;
};

}  // namespace qorv::platform
