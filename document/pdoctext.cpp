// Text runs grow one buffer: its capacity is the next power of two above
// data_len, so appending word by word stays linear without a capacity field.
// The input is read twice (measure, then copy) and never modified.
#include "document/pdoctext.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "document/pdocbuilder.h"
#include "document/pdocreport.h"

namespace {

constexpr unsigned char kNoBreakSpace = 0xA0;
constexpr int kTabWidth = 7;

// Walks the normalised form of the input: blanks collapsed to one space,
// leading blanks dropped when the element is still empty, trailing blanks
// replaced by one space (at least one byte kept when the element has data).
// `after_space`: the element's data already ends in a space, so blanks at
// the start of this piece add nothing (text arriving in several pieces gets
// the same single spaces as text arriving at once).
template <typename Emit>
void normalised(const unsigned char* in, int length, bool has_data, bool after_space, Emit emit) {
  int end = length;
  while (end > 0 && pdoc_is_blank(in[end - 1])) --end;
  if (has_data && end == 0 && length > 0) end = 1;
  const bool trailing_space = end < length && end > 0;
  size_t produced = 0;
  bool previous_blank = after_space;
  auto feed = [&](unsigned char c) {
    if (pdoc_is_blank(c)) {
      if ((produced == 0 && !has_data) || previous_blank) return;
      previous_blank = true;
      emit(' ');
    } else {
      previous_blank = false;
      emit(c);
    }
    ++produced;
  };
  for (int i = 0; i < end; ++i) feed(in[i]);
  if (trailing_space) feed(' ');
}

}  // namespace

size_t pdoc_data_capacity(size_t length) {
  size_t capacity = 16;
  while (capacity < length) capacity *= 2;
  return capacity;
}

namespace {

// Under PRE a run that holds a TAB has no-break spaces throughout, whichever
// piece of its text the TAB came in: the spaces it got before turn now.
void turn_earlier_spaces(pdoc_builder* builder, pdoc_element* element) {
  if (!builder || builder->tab_run == element) return;
  builder->tab_run = element;
  for (int32_t i = 0; i < element->data_len; ++i)
    if (element->data[i] == ' ') element->data[i] = static_cast<char>(kNoBreakSpace);
}

}  // namespace

void pdoc_append_text(pdoc_builder* builder, pdoc_element* element, const char* bytes, int length) {
  if (!element || !bytes || length <= 0) return;
  const auto* in = reinterpret_cast<const unsigned char*>(bytes);
  const bool pre = builder && builder->pre;
  const bool nobr = builder && builder->nobr;
  const bool has_data = element->data_len > 0;
  // A collapsed blank may have been stored as a no-break space (NOBR).
  const bool after_space =
      has_data && (element->data[element->data_len - 1] == ' ' || (builder && builder->blank_run == element));

  long long out_len = 0;
  int tabs = 0;
  bool ends_blank = false;
  if (pre) {
    out_len = length;
    for (int i = 0; i < length; ++i) tabs += in[i] == '\t';
  } else {
    normalised(in, length, has_data, after_space, [&](unsigned char c) {
      ++out_len;
      ends_blank = c == ' ';
    });
  }
  if (out_len == 0) return;
  out_len += 6LL * tabs;
  const bool tab_run = pre && (tabs > 0 || (builder && builder->tab_run == element));
  const bool expand = nobr || tab_run;

  const long long new_len = element->data_len + out_len;
  char* data = element->data;
  if (new_len > INT_MAX) {
    data = nullptr;
  } else {
    const size_t wanted = pdoc_data_capacity(static_cast<size_t>(new_len));
    if (!data || wanted > pdoc_data_capacity(static_cast<size_t>(element->data_len)))
      data = static_cast<char*>(realloc(element->data, wanted));
  }
  if (!data) {
    pdoc_report(nullptr, "Out of memory when adding element data.");
    return;
  }
  element->data = data;
  if (tab_run) turn_earlier_spaces(builder, element);
  if (builder) {
    if (ends_blank)
      builder->blank_run = element;
    else if (builder->blank_run == element)
      builder->blank_run = nullptr;
  }

  auto* out = reinterpret_cast<unsigned char*>(data + element->data_len);
  auto put = [&](unsigned char c) {
    if (expand && c == ' ') {
      *out++ = kNoBreakSpace;
    } else if (expand && c == '\t') {
      memset(out, kNoBreakSpace, kTabWidth);
      out += kTabWidth;
    } else {
      *out++ = c;
    }
  };
  if (pre) {
    for (int i = 0; i < length; ++i) put(in[i]);
  } else {
    normalised(in, length, has_data, after_space, put);
  }
  element->data_len = static_cast<int32_t>(new_len);
}
