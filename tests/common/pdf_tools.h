// PDF files examined with poppler's command-line tools and qpdf: page
// count, page size, a page rasterised to PNG, the text, the file's
// soundness and its streams. A missing tool fails the test with a message
// that names the package.
#pragma once

#include <string>

namespace tessel_testing {

// Pages of the file, -1 when pdfinfo cannot read it.
int pdf_page_count(const std::string& path);
// Size of page `page` (1-based) in points; false when unreadable.
bool pdf_page_size(const std::string& path, int page, double* width, double* height);
// A part of a rasterised page, in pixels from its top-left corner.
struct PdfCrop {
  int x, y, width, height;
};
// Writes page `page` at dpi (only the crop, when given) as the PNG file
// png_path; false on failure.
bool pdf_page_to_png(const std::string& path, int page, int dpi, const std::string& png_path,
                     const PdfCrop* crop = nullptr);

// Whether qpdf --check finds the file sound; its report in *report.
bool qpdf_check(const std::string& path, std::string* report);
// The data of stream object `object`, decoded by qpdf; empty on failure.
std::string pdf_stream_data(const std::string& path, int object);
// The text of the file as pdftotext gives it (reading order, no layout).
std::string pdf_text(const std::string& path);

// Output of a shell command (standard error included), with its exit status.
std::string run_command(const std::string& command, int* status = nullptr);
// Quotes a word for the shell.
std::string shell_quote(const std::string& word);

}  // namespace tessel_testing
