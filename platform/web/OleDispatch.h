// Late-bound access to the browser object and the page it shows.
//
// The browser control hands out its browser object as an OleVariant
// (TWebBrowser::OleObject). Get(Name) walks one property further and Set(Name,
// Value) assigns a string to a property of the object reached, as a
// dispatch interface would: names pass through exactly as given, without
// regard to what the page defines. The browser object itself knows one
// property, "Document" (the page's document object, case-insensitive as
// dispatch names are); everything below it is the page's own object model.
//
// Get only records the path; Set is where the work happens. It turns the
// path into one guarded script (property names and the value are JSON string
// literals, never raw text in the script), runs it in the page through the
// browser's backend, and waits for the answer. The script checks each step:
// an object that is missing on the way (a document without a body, a page
// that is not HTML) or an assignment the page refuses ends the script with
// that reason, which Set raises as EOleError. Nothing is thrown inside the
// page and the page is left as it was.
//
// Threads: main thread only, like the control. An OleVariant does not keep
// the browser alive: once the control is destroyed, Set raises EOleError.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Exceptions.h"

namespace qorv::platform {

// Raised by late-bound calls that fail: an unknown name on the browser
// object, a missing object on the path, an assignment the page refused, a
// browser that is gone or did not answer, an application that is closing
// (the wait for the page's answer ends when the application terminates).
QORV_DECLARE_EXCEPTION(EOleError, Exception);

// What the backend of a browser does for a late-bound assignment: run the
// script in the page's main frame and report its answer.
class DispatchTarget {
public:
  virtual ~DispatchTarget() = default;
  // Path: the property names from the document down to the object whose
  // property Name is assigned. The result is empty on success, otherwise
  // the reason of the failure.
  virtual std::string AssignPageProperty(const std::vector<std::string>& Path, const std::string& Name,
                                         const std::string& Value) = 0;
};

class OleVariant {
public:
  // An unassigned variant; Get and Set raise EOleError on it.
  OleVariant() = default;
  // The browser object of a control whose backend is Target.
  static OleVariant BrowserObject(std::weak_ptr<DispatchTarget> Target);

  OleVariant Get(const std::string& Name) const;
  void Set(const std::string& Name, const std::string& Value) const;

  // The property path below the document; for messages and tests.
  const std::vector<std::string>& Path() const { return path_; }

private:
  enum class Level { Unassigned, Browser, Page };
  std::weak_ptr<DispatchTarget> target_;
  Level level_ = Level::Unassigned;
  std::vector<std::string> path_;
};

// A JSON string literal of Text (UTF-8): quotes, backslashes and control
// characters escaped, and every character outside ASCII written as \uXXXX
// (so the script is plain ASCII whatever the bytes; bytes that are not UTF-8
// become U+FFFD).
std::string JsonQuote(std::string_view Text);

// The guarded script of one assignment below the document. It evaluates to
// "" when the assignment was made, or to the reason why not.
std::string BuildAssignmentScript(const std::vector<std::string>& Path, const std::string& Name,
                                  const std::string& Value);

}  // namespace qorv::platform
