// SPDX-License-Identifier: Apache-2.0
#include "packer/xml_mistake.h"

#include <string_view>
#include <vector>

#include "support/vm_utf_convert.h"

namespace {

// A place in the text as an editor shows it: lines from 1, columns in
// characters from 1.
struct Place {
  std::size_t Line = 1;
  std::size_t Column = 1;
};

std::wstring Words(const Place& place) {
  return L"line " + std::to_wstring(place.Line) + L", column " + std::to_wstring(place.Column);
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::wstring FindMistake() {
    // A byte-order mark is no character of the document.
    if (Starts("\xEF\xBB\xBF")) at_ = 3;
    while (at_ < text_.size()) {
      std::wstring mistake;
      if (Starts("<!--")) {
        mistake = Skip("-->", L"the comment");
      } else if (Starts("<![CDATA[")) {
        mistake = Skip("]]>", L"the CDATA section");
      } else if (Starts("<?")) {
        mistake = Skip("?>", L"the processing instruction");
      } else if (Starts("<!")) {
        mistake = Skip(">", L"the declaration");
      } else if (Starts("</")) {
        mistake = ClosingTag();
      } else if (Starts("<")) {
        mistake = OpeningTag();
      } else {
        Advance(1);
      }
      if (!mistake.empty()) return mistake;
    }
    if (!open_.empty()) {
      return L"the element <" + Wide(open_.back().Name) + L"> opened at " + Words(open_.back().At) +
             L" is never closed";
    }
    return {};
  }

 private:
  struct Open {
    std::string_view Name;
    Place At;
  };

  static std::wstring Wide(std::string_view text) { return velmora::VMUtf8ToUtf16(std::string(text)); }

  bool Starts(std::string_view start) const { return text_.substr(at_, start.size()) == start; }

  void Advance(std::size_t count) {
    for (; count > 0 && at_ < text_.size(); --count, ++at_) {
      const unsigned char c = static_cast<unsigned char>(text_[at_]);
      if (c == '\n') {
        ++place_.Line;
        place_.Column = 1;
      } else if ((c & 0xC0) != 0x80) {
        // Continuation bytes of a UTF-8 character take no column of their own.
        ++place_.Column;
      }
    }
  }

  std::wstring Skip(std::string_view end, const wchar_t* what) {
    const Place start = place_;
    const std::size_t found = text_.find(end, at_ + 2);
    if (found == std::string_view::npos) return std::wstring(what) + L" opened at " + Words(start) + L" is never closed";
    Advance(found + end.size() - at_);
    return {};
  }

  static bool NameCharacter(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.';
  }

  static bool NameStart(char c) { return NameCharacter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.'; }

  std::string_view Name() {
    const std::size_t start = at_;
    if (at_ < text_.size() && NameStart(text_[at_])) {
      while (at_ < text_.size() && NameCharacter(text_[at_])) Advance(1);
    }
    return text_.substr(start, at_ - start);
  }

  void SkipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      Advance(1);
    }
  }

  std::wstring Character() const {
    if (at_ >= text_.size()) return L"the end of the text";
    return L"\"" + Wide(text_.substr(at_, 1)) + L"\" at " + Words(place_);
  }

  std::wstring ClosingTag() {
    const Place start = place_;
    Advance(2);
    const std::string_view name = Name();
    SkipSpace();
    if (name.empty() || !Starts(">")) return L"the closing tag at " + Words(start) + L" is not \"</name>\"";
    Advance(1);
    const std::wstring tag = L"the closing tag </" + Wide(name) + L"> at " + Words(start);
    if (open_.empty()) return tag + L" closes no open element";
    const Open opened = open_.back();
    if (opened.Name != name) {
      return tag + L" does not match the opening tag <" + Wide(opened.Name) + L"> at " + Words(opened.At);
    }
    open_.pop_back();
    return {};
  }

  std::wstring OpeningTag() {
    const Place start = place_;
    Advance(1);
    const std::string_view name = Name();
    if (name.empty()) {
      return L"the \"<\" at " + Words(start) + L" starts no element (a \"<\" in text is written &lt;)";
    }
    const std::wstring tag = L"the tag <" + Wide(name) + L"> at " + Words(start);
    std::vector<std::string_view> attributes;
    for (;;) {
      const bool spaced = at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' ||
                                                 text_[at_] == '\n');
      SkipSpace();
      if (Starts("/>")) {
        Advance(2);
        return {};
      }
      if (Starts(">")) {
        Advance(1);
        open_.push_back({name, start});
        return {};
      }
      const Place attributeAt = place_;
      const std::string_view attribute = Name();
      if (attribute.empty() || !spaced) {
        return tag + L" is not closed by \">\" or \"/>\": " + Character() + L" is unexpected there";
      }
      const std::wstring named = L"the attribute " + Wide(attribute) + L" at " + Words(attributeAt);
      for (const std::string_view seen : attributes) {
        if (seen == attribute) return named + L" stands twice in " + tag;
      }
      attributes.push_back(attribute);
      SkipSpace();
      if (!Starts("=")) return named + L" has no value (write " + Wide(attribute) + L"=\"...\")";
      Advance(1);
      SkipSpace();
      if (!Starts("\"") && !Starts("'")) return L"the value of " + named + L" is not in quotes";
      const char quote = text_[at_];
      Advance(1);
      while (at_ < text_.size() && text_[at_] != quote) {
        if (text_[at_] == '<') return L"the value of " + named + L" holds a \"<\" at " + Words(place_);
        Advance(1);
      }
      if (at_ >= text_.size()) return L"the value of " + named + L" is never closed by its quote";
      Advance(1);
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  Place place_;
  std::vector<Open> open_;
};

}  // namespace

std::wstring DescribeXmlMistake(const std::string& text) { return Scanner(text).FindMistake(); }
