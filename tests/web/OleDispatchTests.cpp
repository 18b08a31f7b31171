// The late-bound assignment: the scripts it builds, run in a real
// JavaScript engine against stand-in document objects, and the dispatch
// rules of the browser object.
#include <jsc/jsc.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/web/OleDispatch.h"

// The JavaScript engine keeps allocations of its own until the process
// ends; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libjavascriptcoregtk-4.1.so\n"; }

namespace qorv::platform {
namespace {

// Runs Setup (which defines `document`), then the assignment script, then
// Probe; returns the script's answer and Probe's value.
struct Outcome {
  std::string answer;
  std::string probe;
};

Outcome runInEngine(const std::string& setup, const std::vector<std::string>& path, const std::string& name,
                    const std::string& value, const std::string& probe) {
  // One engine for the whole run: the engine is built without RTTI, and
  // its teardown trips the sanitizer's vptr check on inlined library code.
  static JSCVirtualMachine* const machine = jsc_virtual_machine_new();
  JSCContext* context = jsc_context_new_with_virtual_machine(machine);
  Outcome out;
  JSCValue* s = jsc_context_evaluate(context, setup.c_str(), -1);
  g_object_unref(s);
  std::string script = BuildAssignmentScript(path, name, value);
  JSCValue* answer = jsc_context_evaluate(context, script.c_str(), -1);
  if (JSCException* e = jsc_context_get_exception(context)) {
    out.answer = std::string("escaped: ") + jsc_exception_get_message(e);
    jsc_context_clear_exception(context);
  } else {
    char* text = jsc_value_to_string(answer);
    out.answer = text;
    g_free(text);
  }
  g_object_unref(answer);
  JSCValue* p = jsc_context_evaluate(context, probe.c_str(), -1);
  char* text = jsc_value_to_string(p);
  out.probe = text;
  g_free(text);
  g_object_unref(p);
  g_object_unref(context);
  return out;
}

const char* kHtmlPage =
    "var document = { body: {}, documentElement: { style: {} } };"
    "var sideEffect = 'none';";

TEST(LateBoundScript, AssignsThePropertyNamedExactly) {
  struct Row {
    std::vector<std::string> path;
    std::string name;
    std::string value;
    std::string probe;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {{"body"}, "Scroll", "no", "document.body.Scroll + '|' + String(document.body.scroll)", "no|undefined"},
      {{"documentElement", "style"}, "overflow", "hidden", "document.documentElement.style.overflow", "hidden"},
      // Names and values that would break out of a quoted or bracketed
      // script text stay data.
      {{"body"}, "a\"];sideEffect='name';[\"", "v", "sideEffect + '|' + document.body['a\"];sideEffect=\\'name\\';[\"']",
       "none|v"},
      {{"body"}, "x", "\"+(sideEffect='value')+\"", "sideEffect + '|' + document.body.x",
       "none|\"+(sideEffect='value')+\""},
      {{"body"}, "line\u2028sep", "back\\slash\nnew", "JSON.stringify(document.body['line\\u2028sep'])",
       "\"back\\\\slash\\nnew\""},
      {{"body"}, "caf\xc3\xa9", "\xe2\x82\xac", "document.body['caf\\u00e9'] === '\\u20ac' ? 'same' : 'differs'",
       "same"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("name " + row.name + " value " + row.value);
    Outcome o = runInEngine(kHtmlPage, row.path, row.name, row.value, row.probe);
    EXPECT_EQ(o.answer, "");
    EXPECT_EQ(o.probe, row.expected);
  }
}

TEST(LateBoundScript, MissingObjectsAreReportedAndNothingEscapes) {
  struct Row {
    const char* setup;
    std::vector<std::string> path;
    std::string expectedAnswer;
  };
  const std::vector<Row> rows = {
      // An XML document: no body, and a root element without style.
      {"var document = { body: null, documentElement: {} };", {"body"}, "no object at Document.body"},
      {"var document = { body: null, documentElement: {} };", {"documentElement", "style"},
       "no object at Document.documentElement.style"},
      {"var document = null;", {"body"}, "the page has no document"},
      {"var document = { body: 'text' };", {"body"}, "no object at Document.body"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setup);
    Outcome o = runInEngine(row.setup, row.path, "overflow", "hidden", "'after'");
    EXPECT_EQ(o.answer, row.expectedAnswer);
    EXPECT_EQ(o.probe, "after");
  }
}

TEST(LateBoundScript, AnAssignmentThePageRefusesIsReported) {
  Outcome o = runInEngine(
      "var document = { body: {} };"
      "Object.defineProperty(document.body, 'Scroll', { set: function () { throw new Error('read-only'); } });",
      {"body"}, "Scroll", "no", "'after'");
  EXPECT_EQ(o.answer, "assignment refused: read-only");
  EXPECT_EQ(o.probe, "after");
}

TEST(JsonQuote, EscapesToPlainAscii) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"no", "\"no\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {"\xc3\xa9", "\"\\u00e9\""},
      {"\xf0\x9f\x98\x80", "\"\\ud83d\\ude00\""},
      // Bytes that are not UTF-8 become U+FFFD, one each.
      {"\xff\xc3", "\"\\ufffd\\ufffd\""},
      {"\xe2\x80\xa8", "\"\\u2028\""},
  };
  for (const auto& [input, expected] : rows) {
    SCOPED_TRACE(input);
    EXPECT_EQ(JsonQuote(input), expected);
  }
}

class RecordingTarget : public DispatchTarget {
public:
  std::string AssignPageProperty(const std::vector<std::string>& path, const std::string& name,
                                 const std::string& value) override {
    calls.push_back(path);
    calls.back().push_back(name + "=" + value);
    return answer;
  }
  std::vector<std::vector<std::string>> calls;
  std::string answer;
};

TEST(OleVariant, BrowserObjectKnowsDocumentOnly) {
  auto target = std::make_shared<RecordingTarget>();
  OleVariant browser = OleVariant::BrowserObject(target);
  EXPECT_THROW(browser.Get("Window"), EOleError);
  EXPECT_THROW(browser.Set("Visible", "no"), EOleError);
  browser.Get("document").Get("documentElement").Get("style").Set("overflow", "hidden");
  ASSERT_EQ(target->calls.size(), 1u);
  EXPECT_EQ(target->calls[0], (std::vector<std::string>{"documentElement", "style", "overflow=hidden"}));
}

TEST(OleVariant, FailuresBecomeEOleError) {
  auto target = std::make_shared<RecordingTarget>();
  target->answer = "no object at Document.body";
  OleVariant body = OleVariant::BrowserObject(target).Get("Document").Get("body");
  try {
    body.Set("Scroll", "no");
    FAIL() << "no exception";
  } catch (const EOleError& e) {
    EXPECT_EQ(e.Message(), "no object at Document.body");
  }
  target.reset();
  EXPECT_THROW(body.Set("Scroll", "no"), EOleError);
  EXPECT_THROW(OleVariant().Get("Document"), EOleError);
}

}  // namespace
}  // namespace qorv::platform
