// SPDX-License-Identifier: Apache-2.0
#include "support/vm_xml_document.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string_view>

#include "support/vm_ascii_case.h"
#ifdef _WIN32
#include "support/vm_handle.h"
#endif
#include "support/vm_trace.h"
#include "support/vm_utf_convert.h"

namespace velmora {
namespace {

#ifdef _WIN32
using CFile = velmora::VMUniqueCFile;
std::FILE* OpenCFile(const std::wstring& path, bool write) { return _wfopen(path.c_str(), write ? L"wb" : L"rb"); }
#else
// Elsewhere file names are UTF-8.
struct CFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileClose>;
std::FILE* OpenCFile(const std::wstring& path, bool write) {
  return std::fopen(velmora::VMUtf16ToUtf8(path).c_str(), write ? "wb" : "rb");
}
#endif

using namespace std::string_view_literals;

constexpr const char* kDeclaration = "xml version=\"1.0\" encoding=\"UTF-8\"";

// The one text node that makes up the element's content.
VMStatus SoleTextNode(VMXmlElement element, const tinyxml2::XMLText*& text) {
  text = nullptr;
  if (element == nullptr) return status::MissingObject;
  const tinyxml2::XMLNode* first = element->FirstChild();
  if (first == nullptr) return status::ElementEmpty;
  // A comment or a second CDATA section beside the text would make the value
  // depend on how the reader joins the pieces; the document must say it in
  // one piece.
  if (first->NextSibling() != nullptr) return status::InvalidConfiguration;
  text = first->ToText();
  return text != nullptr ? status::Ok : status::InvalidConfiguration;
}

// "true" and "false" are ASCII, so the UTF-8 bytes compare exactly as their
// UTF-16 text would.
VMStatus ParseBool(const char* text, bool& value) {
  const std::string_view word = text != nullptr ? text : "";
  if (VMEqualsIgnoringAsciiCase(word, "true"sv)) {
    value = true;
  } else if (VMEqualsIgnoringAsciiCase(word, "false"sv)) {
    value = false;
  } else {
    return status::InvalidConfiguration;
  }
  return status::Ok;
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether `code` is a character XML allows in a document.
bool IsXmlCharacter(std::uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// Whether the character reference ("&#N;" or "&#xH;") that starts at `i`
// names a character XML does not allow; `i` moves past it. Anything else
// than digits and a semicolon is no reference, and tinyxml2 keeps it as text.
bool IsForbiddenReference(std::string_view text, std::size_t& i) {
  i += 2;
  // Only a lower-case x makes a hexadecimal reference, for tinyxml2 as for
  // XML.
  const bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  constexpr std::uint32_t kBeyondUnicode = 0x110000;
  std::uint32_t code = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    code = std::min(code * (hex ? 16 : 10) + digit, kBeyondUnicode);
  }
  return i < text.size() && text[i] == ';' && !IsXmlCharacter(code);
}

// Whether `text` holds a character reference to a character XML does not
// allow, in character data or in an attribute value. tinyxml2 replaces such
// references all the same, NUL included, and a value read afterwards would
// end at that NUL; its 32-bit arithmetic also wraps huge numbers around to
// any character at all. Comments, CDATA sections, processing instructions
// and declarations are passed over: their text is never replaced.
bool HasForbiddenCharacterReference(std::string_view text) {
  struct Verbatim {
    std::string_view Open;
    std::string_view Close;
  };
  constexpr Verbatim kVerbatim[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
  bool inTag = false;
  char quote = 0;  // the quote of the attribute value being read, or 0
  std::size_t i = 0;
  while (i < text.size()) {
    const std::string_view rest = text.substr(i);
    if (!inTag || quote != 0) {
      if (rest.starts_with("&#")) {
        if (IsForbiddenReference(text, i)) return true;
        continue;
      }
      if (quote != 0 && text[i] == quote) quote = 0;
    } else if (text[i] == '"' || text[i] == '\'') {
      quote = text[i];
    } else if (text[i] == '>') {
      inTag = false;
    }
    if (!inTag && text[i] == '<') {
      const auto verbatim = std::find_if(std::begin(kVerbatim), std::end(kVerbatim),
                                         [&](const Verbatim& v) { return rest.starts_with(v.Open); });
      if (verbatim != std::end(kVerbatim)) {
        const std::size_t close = text.find(verbatim->Close, i + verbatim->Open.size());
        if (close == std::string_view::npos) return false;
        i = close + verbatim->Close.size();
        continue;
      }
      inTag = true;
    }
    ++i;
  }
  return false;
}

void TraceXmlError(const tinyxml2::XMLDocument& document, const char* function = VM_CALLER_NAME) {
  VM_TRACE_FROM(function, "ERROR", "%s at line %d\n", document.ErrorName(), document.ErrorLineNum());
}

}  // namespace

VMXmlDocument::VMXmlDocument() : document_(true, tinyxml2::PRESERVE_WHITESPACE) {}

VMStatus VMXmlDocument::LoadFile(const std::wstring& path) {
  CFile file(OpenCFile(path, false));
  if (!file) return status::FileOpenFailed;
  if (document_.LoadFile(file.get()) != tinyxml2::XML_SUCCESS) {
    TraceXmlError(document_);
    return status::FileNotXml;
  }
  return status::Ok;
}

VMStatus VMXmlDocument::Parse(const char* text) {
  // tinyxml2 reports a null or empty text as its empty-document error and
  // discards a partly built tree itself.
  if (document_.Parse(text) != tinyxml2::XML_SUCCESS) {
    TraceXmlError(document_);
    return status::XmlParseError;
  }
  if (HasForbiddenCharacterReference(text)) {
    VM_TRACE("ERROR", "%s\n", "reference to a character XML does not allow");
    document_.Clear();
    return status::XmlParseError;
  }
  return status::Ok;
}

VMStatus VMXmlDocument::SaveFile(const std::wstring& path) {
  CFile file(OpenCFile(path, true));
  if (!file) return status::FileOpenFailed;
  // One declaration, always at the front: a document that was loaded with
  // its own, or saved before, must not come out with two.
  if (tinyxml2::XMLNode* first = document_.FirstChild(); first != nullptr && first->ToDeclaration() != nullptr) {
    document_.DeleteNode(first);
  }
  if (document_.InsertFirstChild(document_.NewDeclaration(kDeclaration)) == nullptr) return status::Failed;
  // tinyxml2 does not look at the results of its writes; the stream does.
  const bool written = document_.SaveFile(file.get(), false) == tinyxml2::XML_SUCCESS &&
                       std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed ? status::Ok : status::FileWriteFailed;
}

VMStatus VMXmlDocument::GetChildElements(VMXmlElement element, const char* name, std::vector<VMXmlElement>& list) {
  list.clear();
  if (element == nullptr) return status::MissingObject;
  for (VMXmlElement child = element->FirstChildElement(name); child != nullptr;
       child = child->NextSiblingElement(name)) {
    list.push_back(child);
  }
  return status::Ok;
}

VMStatus VMXmlDocument::GetElementText(VMXmlElement element, std::wstring& text, const std::wstring& defaultText) {
  text = defaultText;
  const tinyxml2::XMLText* node = nullptr;
  VM_RETURN_IF_FAILED(SoleTextNode(element, node));
  text = Utf8ToUtf16(node->Value());
  return status::Ok;
}

VMStatus VMXmlDocument::GetElementBool(VMXmlElement element, bool& value, bool defaultValue) {
  value = defaultValue;
  const tinyxml2::XMLText* node = nullptr;
  VM_RETURN_IF_FAILED(SoleTextNode(element, node));
  return ParseBool(node->Value(), value);
}

VMStatus VMXmlDocument::GetAttributeUnsigned(VMXmlElement element, const char* name, std::uint32_t& value) {
  value = 0;
  if (element == nullptr) return status::MissingObject;
  const char* text = element->Attribute(name);
  if (text == nullptr) return status::NotFound;
  while (IsCSpace(*text)) ++text;
  if (*text < '0' || *text > '9') return status::InvalidConfiguration;
  std::uint32_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const std::uint32_t digit = static_cast<std::uint32_t>(*text - '0');
    // A number that does not fit is unreadable, not some other number.
    if (number > (UINT32_MAX - digit) / 10) return status::InvalidConfiguration;
    number = number * 10 + digit;
  }
  value = number;
  return status::Ok;
}

VMStatus VMXmlDocument::GetAttributeBool(VMXmlElement element, const char* name, bool& value) {
  value = false;
  if (element == nullptr) return status::MissingObject;
  const char* text = element->Attribute(name);
  if (text == nullptr) return status::NotFound;
  bool parsed = false;
  VM_RETURN_IF_FAILED(ParseBool(text, parsed));
  value = parsed;
  return status::Ok;
}

std::wstring VMXmlDocument::Utf8ToUtf16(const char* text) {
  return VMUtf8ToUtf16(text != nullptr ? text : "", VMByteWidening::SignExtended);
}

}  // namespace velmora
