// The imgfilter context: creation, setters, error recording and the read and
// write sequences that dispatch to the registered codecs.
#include "image/imgfilter.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

char* copy_name(const char* name) {
  if (!name) return nullptr;
  size_t length = strlen(name) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy) memcpy(copy, name, length);
  return copy;
}

// Formats that have a number, whether or not a module exists for them.
bool is_known_format(int format) {
  return format == IMF_FMT_SAME || format == IMF_FMT_RAW || (format >= IMF_FMT_PNG && format <= IMF_FMT_JP2) ||
         (format >= IMF_FMT_DIB && format <= IMF_FMT_PDF);
}

void format_error(imgfilter* context, int code, const char* format, va_list args) {
  context->error_code = code;
  if (!context->error_text) return;
  vsnprintf(context->error_text, IMF_ERROR_TEXT_MAX + 1, format, args);
}

}  // namespace

imgfilter* imf_create(int version) {
  auto* context = static_cast<imgfilter*>(calloc(1, sizeof(imgfilter)));
  if (!context) return nullptr;
  context->error_text = static_cast<char*>(calloc(1, IMF_ERROR_TEXT_SIZE));
  if (!context->error_text) {
    free(context);
    return nullptr;
  }
  context->version = version;
  return context;
}

void imf_free(imgfilter* context) {
  if (!context) return;
  imf_close_input(context);
  imf_close_output(context);
  imf_free_image(context->image);
  free(context->input_file);
  free(context->output_file);
  free(context->error_text);
  free(context);
}

void imf_version_string(char* buffer, size_t size) {
  snprintf(buffer, size, "%d.%d.%d", IMF_VERSION / 1000000, (IMF_VERSION / 10000) % 100, (IMF_VERSION / 100) % 100);
}

int imf_register(imgfilter* context, imf_module_fn module, void* user) {
  if (!context || !module) return 0;
  return module(context, user);
}

void imf_set_input_file(imgfilter* context, const char* name) {
  free(context->input_file);
  context->input_file = copy_name(name);
  context->input_iotype = IMF_IO_FILE;
}

void imf_set_input_stream(imgfilter* context, FILE* stream) {
  context->input_stream = stream;
  context->input_iotype = IMF_IO_STREAM;
}

void imf_set_input_memory(imgfilter* context, const void* block, size_t length, const void* bits, size_t bits_length) {
  context->input_memory = static_cast<const unsigned char*>(block);
  context->input_memory_length = length;
  context->input_bits = static_cast<const unsigned char*>(bits);
  context->input_bits_length = bits ? bits_length : 0;
  context->input_iotype = IMF_IO_MEMORY;
}

int imf_set_input_format(imgfilter* context, int format) {
  int previous = context->input_format;
  context->input_format = format;
  return previous;
}

int imf_set_output_format(imgfilter* context, int format) {
  int previous = context->output_format;
  context->output_format = format;
  return previous;
}

void imf_set_output_file(imgfilter* context, const char* name) {
  free(context->output_file);
  context->output_file = copy_name(name);
  context->output_iotype = IMF_IO_FILE;
}

void imf_set_output_stream(imgfilter* context, FILE* stream) {
  context->output_stream = stream;
  context->output_iotype = IMF_IO_STREAM;
}

void imf_set_output_memory(imgfilter* context, void** block, size_t* size, size_t* bits_offset, void** bits) {
  context->output_memory = block;
  context->output_memory_size = size;
  context->output_bits_offset = bits_offset;
  context->output_bits = bits;
  context->output_iotype = IMF_IO_MEMORY;
}

imf_malloc_fn imf_set_malloc(imgfilter* context, imf_malloc_fn allocator, void* user) {
  imf_malloc_fn previous = context->malloc_fn;
  context->malloc_fn = allocator;
  context->malloc_user = user;
  return previous;
}

imf_warning_fn imf_set_warning(imgfilter* context, imf_warning_fn callback) {
  imf_warning_fn previous = context->warning_fn;
  context->warning_fn = callback;
  return previous;
}

void imf_error(imgfilter* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  format_error(context, IMF_ERR_GENERAL, format, args);
  va_end(args);
}

void imf_error_code(imgfilter* context, int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  format_error(context, code, format, args);
  va_end(args);
}

void imf_warning(imgfilter* context, int level, const char* format, ...) {
  char text[1000];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) text[--length] = 0;
  if (context->warning_fn) context->warning_fn(context, level, text);
}

// Reading.

int imf_open_input(imgfilter* context) {
  context->pages_read = 0;
  context->bytes_read = 0;
  int format = context->input_format;
  if (!format) {
    imf_error(context, "Input format not set");
    return 0;
  }
  if (!context->input_iotype) {
    imf_error(context, "Input file not set");
    return 0;
  }
  if (context->input_iotype == IMF_IO_FILE && format != IMF_FMT_TIFF && format != IMF_FMT_GIF) {
    FILE* stream = context->input_file ? fopen(context->input_file, "rb") : nullptr;
    if (!stream) {
      imf_error_code(context, IMF_ERR_READ_INPUT, "Can't read input file");
      return 0;
    }
    context->input_stream = stream;
    context->input_iotype = IMF_IO_STREAM;
    context->input_opened = 1;
  }
  if (format == IMF_FMT_TIFF || format == IMF_FMT_DICOM) {
    imf_hook_fn open = context->open_input_hooks[format];
    if (!open) {
      imf_error(context, format == IMF_FMT_TIFF ? "TIFF module not registered" : "DICOM module not registered");
      imf_close_input(context);
      return 0;
    }
    if (!open(context)) {
      imf_close_input(context);
      return 0;
    }
  }
  return 1;
}

int imf_read_page(imgfilter* context) {
  int format = context->input_format;
  if (context->pages_read > 0 && format != IMF_FMT_TIFF && format != IMF_FMT_DICOM) return 0;
  imf_free_image(context->image);
  context->image = imf_new_image();
  if (!context->image) {
    imf_error(context, "Out of memory");
    return 0;
  }
  if (!is_known_format(format)) {
    imf_error(context, "Unknown input format (%d)", format);
    return 0;
  }
  imf_codec_fn decode = context->decoders[format];
  if (format == IMF_FMT_JPEG && !decode) decode = context->jpeg12_decoder;
  if (!decode) {
    imf_error(context, "Unsupported input format (%d)", format);
    return 0;
  }
  if (!decode(context, context->image)) return 0;
  context->image->bpp = imf_bits_per_pixel(context->image->type);
  context->pages_read++;
  return 1;
}

void imf_close_input(imgfilter* context) {
  int format = context->input_format;
  if (format > 0 && format < IMF_FMT_SLOTS && context->close_input_hooks[format])
    context->close_input_hooks[format](context);
  if (context->input_opened) {
    if (context->input_stream) fclose(context->input_stream);
    context->input_stream = nullptr;
    context->input_iotype = IMF_IO_FILE;  // the next read reopens the file
    context->input_opened = 0;
  }
}

int imf_read(imgfilter* context) {
  if (!imf_open_input(context)) return 0;
  int ok = imf_read_page(context);
  imf_close_input(context);
  return ok;
}

// Writing.

int imf_open_output(imgfilter* context) {
  context->pages_written = 0;
  if (!context->output_format) {
    imf_error(context, "Output format not set");
    return 0;
  }
  if (!context->output_iotype) {
    imf_error(context, "Output IO type not set");
    return 0;
  }
  if (context->output_format == IMF_FMT_SAME) context->output_format = context->input_format;
  int format = context->output_format;
  if (context->output_iotype == IMF_IO_FILE && format != IMF_FMT_TIFF) {
    FILE* stream = context->output_file ? fopen(context->output_file, "wb") : nullptr;
    if (!stream) {
      imf_error_code(context, IMF_ERR_WRITE_OUTPUT, "Can't write output file");
      return 0;
    }
    context->output_stream = stream;
    context->output_iotype = IMF_IO_STREAM;
    context->output_opened = 1;
  }
  if (format == IMF_FMT_TIFF || format == IMF_FMT_DICOM || format == IMF_FMT_PCL || format == IMF_FMT_PDF) {
    imf_hook_fn open = context->open_output_hooks[format];
    if (!open || !open(context)) {
      imf_close_output(context);
      return 0;
    }
  }
  return 1;
}

int imf_write_page(imgfilter* context) {
  int format = context->output_format;
  if (!context->image || !context->image->data) {
    imf_error(context, "No image to write (read failed?)");
    return 0;
  }
  if (context->pages_written > 0 && format != IMF_FMT_TIFF && format != IMF_FMT_PCL && format != IMF_FMT_PDF) {
    imf_error(context, "Multiple pages are not supported for this file format");
    return 0;
  }
  if (!is_known_format(format)) {
    imf_error(context, "Unknown output format (%d)", format);
    return 0;
  }
  imf_codec_fn encode = context->encoders[format];
  if (format == IMF_FMT_JPEG && !encode) encode = context->jpeg12_encoder;
  if (!encode) {
    imf_error(context, "Unsupported output format (%d)", format);
    return 0;
  }
  if (!encode(context, context->image)) return 0;
  context->pages_written++;
  return 1;
}

void imf_close_output(imgfilter* context) {
  int format = context->output_format;
  if (format > 0 && format < IMF_FMT_SLOTS && context->close_output_hooks[format])
    context->close_output_hooks[format](context);
  if (context->output_opened) {
    if (context->output_stream) fclose(context->output_stream);
    context->output_stream = nullptr;
    context->output_iotype = IMF_IO_FILE;
    context->output_opened = 0;
  }
}

int imf_write(imgfilter* context) {
  if (!imf_open_output(context)) return 0;
  int ok = imf_write_page(context);
  imf_close_output(context);
  return ok;
}

void imf_get_size(imgfilter* context, int* width, int* height) {
  if (width) *width = context->image->width;
  if (height) *height = context->image->height;
}
