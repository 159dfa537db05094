// SPDX-License-Identifier: Apache-2.0
#include "packer/schema_notes.h"

#include <string_view>
#include <utility>

#include "config_schema.h"
#include "support/vm_utf_convert.h"
#include "support/vm_xml_document.h"

using Element = const tinyxml2::XMLElement*;
namespace status = velmora::status;

namespace {

// What may stand inside one element, as the schema declares it.
struct ContentModel {
  // Child elements by name, with their declarations, in schema order.
  std::vector<std::pair<std::string, Element>> Children;
  std::vector<std::string> Attributes;
  // An xs:any wildcard: elements of another namespace may stand here.
  bool Foreign = false;
};

// The schema is the project's own and small; the bound only keeps a
// mistake in it (a group that refers to itself) from looping.
constexpr int kDepthLimit = 64;

Element Global(Element schema, const char* kind, const char* name) {
  if (name == nullptr) return nullptr;
  for (Element node = schema->FirstChildElement(kind); node != nullptr; node = node->NextSiblingElement(kind)) {
    const char* own = node->Attribute("name");
    if (own != nullptr && std::string_view(own) == name) return node;
  }
  return nullptr;
}

// Collects the element and attribute declarations reachable from `node`
// through model groups, group references and type extensions; nested
// element declarations are recorded, not entered.
void Collect(Element schema, Element node, ContentModel& model, int depth) {
  if (node == nullptr || depth > kDepthLimit) return;
  for (Element child = node->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
    const std::string_view kind = child->Name();
    if (kind == "xs:element") {
      if (const char* name = child->Attribute("name")) model.Children.emplace_back(name, child);
    } else if (kind == "xs:attribute") {
      if (const char* name = child->Attribute("name")) model.Attributes.emplace_back(name);
    } else if (kind == "xs:any") {
      model.Foreign = true;
    } else if (kind == "xs:group") {
      Collect(schema, Global(schema, "xs:group", child->Attribute("ref")), model, depth + 1);
    } else if (kind == "xs:extension") {
      Collect(schema, Global(schema, "xs:complexType", child->Attribute("base")), model, depth + 1);
      Collect(schema, child, model, depth + 1);
    } else if (kind == "xs:sequence" || kind == "xs:choice" || kind == "xs:all" || kind == "xs:complexType" ||
               kind == "xs:complexContent" || kind == "xs:simpleContent") {
      Collect(schema, child, model, depth + 1);
    }
  }
}

// An element's content: its named complex type, or the type declared inside
// it. A simple type (text) has no children and no attributes.
ContentModel ModelOf(Element schema, Element declaration) {
  ContentModel model;
  if (const char* type = declaration->Attribute("type")) {
    Collect(schema, Global(schema, "xs:complexType", type), model, 0);
  } else {
    Collect(schema, declaration, model, 0);
  }
  return model;
}

std::wstring Wide(const char* text) { return velmora::VMUtf8ToUtf16(text); }

std::wstring At(Element element) {
  return L"<" + Wide(element->Name()) + L"> at line " + std::to_wstring(element->GetLineNum());
}

std::wstring Listed(const std::vector<std::wstring>& names) {
  if (names.empty()) return L"none";
  std::wstring text;
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? L"" : i + 1 == names.size() ? L" and " : L", ") + names[i];
  return text;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

void Walk(Element schema, Element element, Element declaration, std::vector<std::wstring>& notes) {
  const ContentModel model = ModelOf(schema, declaration);
  std::vector<std::wstring> attributes;
  for (const std::string& name : model.Attributes) attributes.push_back(Wide(name.c_str()));
  for (const tinyxml2::XMLAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
       attribute = attribute->Next()) {
    const std::string_view name = attribute->Name();
    if (name == "xmlns") {
      notes.push_back(At(element) + L" declares the namespace \"" + Wide(attribute->Value()) +
                      L"\": the format's elements have none, so an editor checks nothing against the schema; "
                      L"the stub reads names without their namespace. Remove xmlns=\"...\".");
      continue;
    }
    // Namespace declarations with a prefix, and the schema instance's own
    // attributes (xsi:noNamespaceSchemaLocation), belong to XML itself.
    if (StartsWith(name, "xmlns:") || StartsWith(name, "xsi:")) continue;
    bool known = false;
    for (const std::string& own : model.Attributes) known = known || own == name;
    if (!known) {
      notes.push_back(L"the attribute " + Wide(attribute->Name()) + L" of " + At(element) +
                      L" is not one the format has there (it has " + Listed(attributes) + L"); the stub ignores it.");
    }
  }
  std::vector<std::wstring> children;
  for (const auto& [name, ignored] : model.Children) children.push_back(L"<" + Wide(name.c_str()) + L">");
  for (Element child = element->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
    const std::string_view name = child->Name();
    Element found = nullptr;
    for (const auto& [own, childDeclaration] : model.Children) {
      if (own == name) found = childDeclaration;
    }
    if (found != nullptr) {
      Walk(schema, child, found, notes);
    } else if (name.find(':') != std::string_view::npos) {
      // An element of another namespace is left alone where the schema
      // allows one; elsewhere the schema refuses it.
      if (!model.Foreign) {
        notes.push_back(At(child) + L" of another namespace is not allowed inside <" + Wide(element->Name()) +
                        L"> by the schema; the stub ignores it.");
      }
    } else {
      notes.push_back(At(child) + L" is not an element the format has inside <" + Wide(element->Name()) +
                      L"> (it has " + Listed(children) + L"); the stub ignores it.");
    }
  }
}

}  // namespace

void NoteNamesOutsideTheFormat(const std::string& document, std::vector<std::wstring>& notes) {
  velmora::VMXmlDocument xml;
  velmora::VMXmlDocument schemaDocument;
  if (xml.Parse(document.c_str()) != status::Ok || schemaDocument.Parse(kConfigurationSchema) != status::Ok) return;
  Element schema = schemaDocument.Xml().FirstChildElement("xs:schema");
  Element root = xml.Xml().FirstChildElement("SelfExtractor");
  Element declaration = schema != nullptr ? Global(schema, "xs:element", "SelfExtractor") : nullptr;
  if (root != nullptr && declaration != nullptr) Walk(schema, root, declaration, notes);
}
