// The count of what a layout job leaves out; see left_out.h.
#include "layout/left_out.h"

namespace {

thread_local LeftOutScope* g_scope = nullptr;

bool is_blank_byte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Whether the element itself draws something, children aside.
bool draws_itself(const pdoc_element* e) {
  switch (e->type) {
    case ELE_TEXT:
      for (int i = 0; e->data && i < e->data_len; i++)
        if (!is_blank_byte(e->data[i])) return true;
      return false;
    case ELE_IMAGE:
    case ELE_HRULE:
    case ELE_TABLE:
    case ELE_ROW: return true;
    default: return false;
  }
}

}  // namespace

LeftOutScope::LeftOutScope() : outer_(g_scope) {
  g_scope = this;
}

LeftOutScope::~LeftOutScope() {
  g_scope = outer_;
}

void left_out_page(int page) {
  if (g_scope) g_scope->page_ = page;
}

void note_left_out(int elements) {
  if (!g_scope || elements <= 0) return;
  LeftOutReport& report = g_scope->report_;
  if (report.elements == 0) report.first_page = g_scope->page_;
  report.elements += elements;
}

bool shows_something(const pdoc_element* element) {
  // Walked without recursion: documents may nest deeper than the stack.
  const pdoc_element* e = element;
  while (e) {
    if (draws_itself(e)) return true;
    if (e->child && e->type != ELE_HEAD && e->type != ELE_DOCTYPE) {
      e = e->child;
      continue;
    }
    while (e != element && !e->next) e = e->parent;
    if (e == element) return false;
    e = e->next;
  }
  return false;
}

int count_shown(const pdoc_element* first) {
  int n = 0;
  for (const pdoc_element* e = first; e; e = e->next)
    if (shows_something(e)) n++;
  return n;
}
