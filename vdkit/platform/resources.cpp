#include "vdkit/platform/resources.h"

#include <cstdio>
#include <map>
#include <string>

namespace {

int DefaultMessageBox(const char* text, UINT) {
  std::fprintf(stderr, "%s\n", text ? text : "");
  return IDOK;
}

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler = DefaultMessageBox;
  return handler;
}

std::map<UINT, std::string>& Table() {
  static std::map<UINT, std::string> table = {
      // 没有找到表的定义, in GBK.
      {IDS_VDB_NO_TABLE_DEFINITION,
       "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\xB1\xED\xB5\xC4\xB6\xA8\xD2\xE5"},
  };
  return table;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = handler ? std::move(handler) : MessageBoxHandler(DefaultMessageBox);
  return previous;
}

int AfxMessageBox(const char* text, UINT type, UINT) { return Handler()(text ? text : "", type); }

int AfxMessageBox(UINT id, UINT type, UINT) {
  const char* text = FindStringResource(id);
  return AfxMessageBox(text ? text : "", type);
}

const char* FindStringResource(UINT id) {
  const auto it = Table().find(id);
  return it == Table().end() ? nullptr : it->second.c_str();
}

void SetStringResource(UINT id, const char* text) {
  if (text)
    Table()[id] = text;
  else
    Table().erase(id);
}
