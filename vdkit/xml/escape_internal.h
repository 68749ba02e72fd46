// How vdkit's XML writers put a text into a document so that the parser reads
// it back unchanged. Not installed; include only from vdkit's own sources.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

namespace detail {

// Appends `text` with what would end or change it written as references:
// & < > always; control bytes (line feeds included: the archive indents after
// every line feed it writes) as character references; spaces at either end
// of element text and at the end of an attribute value, since the parser
// trims the document's blanks there (references stay). In an attribute value
// also the quote marks and a trailing backslash (the reader would take the
// closing quote for an escaped one). Ordinary texts come out unchanged.
inline void AppendXmlEscaped(std::string& out, const char* text, bool attribute) {
  if (!text) return;
  const size_t n = std::strlen(text);
  // Bytes before keepStart and from keepEnd on are blanks the parser would
  // trim, or a final backslash.
  size_t keepStart = 0;
  if (!attribute) {
    while (keepStart < n && text[keepStart] == ' ') ++keepStart;
  }
  size_t keepEnd = n;
  while (keepEnd > keepStart && text[keepEnd - 1] == ' ') --keepEnd;
  if (attribute && keepEnd > 0 && text[keepEnd - 1] == '\\') --keepEnd;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const char* entity = nullptr;
    if (c == '&') {
      entity = "&amp;";
    } else if (c == '<') {
      entity = "&lt;";
    } else if (c == '>') {
      entity = "&gt;";
    } else if (attribute && c == '\'') {
      entity = "&apos;";
    } else if (attribute && c == '"') {
      entity = "&quot;";
    }
    if (entity) {
      out += entity;
    } else if (c < 0x20 || i < keepStart || i >= keepEnd) {
      char ref[8];
      std::snprintf(ref, sizeof ref, "&#%d;", c);
      out += ref;
    } else {
      out += static_cast<char>(c);
    }
  }
}

// Appends " name='value'" with the value escaped as above.
inline void AppendXmlAttribute(std::string& out, const char* name, const char* value) {
  out += ' ';
  out += name;
  out += "='";
  AppendXmlEscaped(out, value, true);
  out += '\'';
}

// Whether the reader takes an element of this name for an index form (#@N)
// of the object scheme, whose name says nothing of the object's.
inline bool IsIndexForm(const char* name) {
  return name && (name[0] == '#' || (name[0] && name[1] == '@'));
}

// Whether a name can stand as an element name and read back as it is: the
// parser ends a name at a blank, a tag at '>', takes "</", "<?" and "<!" for
// other tags, and decodes nothing in names.
inline bool IsUsableElementName(const char* name) {
  if (!name || !*name || IsIndexForm(name)) return false;
  if (name[0] == '?' || name[0] == '!') return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c <= 0x20 || c == 0x7f) return false;
    if (std::strchr("<>/=&'\"", c)) return false;
  }
  return true;
}

// The element name of `name` written as the index-th element among its
// siblings: the name itself, or the index form #@<index + 1> (the caller
// then writes the name into an attribute).
inline std::string XmlElementName(const char* name, size_t index) {
  if (IsUsableElementName(name)) return name;
  return "#@" + std::to_string(index + 1);
}

// Appends "<" and the element name of `name` as the index-th element, with
// the name='...' attribute that the index form needs; the caller adds the
// other attributes and ends the tag.
inline void AppendXmlStartTag(std::string& out, const char* name, size_t index) {
  out += '<';
  out += XmlElementName(name, index);
  if (!IsUsableElementName(name)) AppendXmlAttribute(out, "name", name);
}

}  // namespace detail
