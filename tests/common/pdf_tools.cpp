// PDF inspection through pdfinfo and pdftoppm; see pdf_tools.h.
#include "pdf_tools.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace tessel_testing {

namespace {

bool require_tool(const char* tool, const char* package = "poppler-utils") {
  for (const char* dir : {"/usr/bin/", "/bin/", "/usr/local/bin/"})
    if (std::filesystem::exists(std::string(dir) + tool)) return true;
  ADD_FAILURE() << tool << " is missing: install " << package << " (.ci/deps.sh does)";
  return false;
}

}  // namespace

std::string shell_quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string run_command(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int raw = pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

int pdf_page_count(const std::string& path) {
  if (!require_tool("pdfinfo")) return -1;
  int status = 0;
  const std::string info = run_command("pdfinfo " + shell_quote(path), &status);
  if (status != 0) return -1;
  std::istringstream lines(info);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("Pages:", 0) == 0) return std::atoi(line.c_str() + 6);
  return -1;
}

bool pdf_page_size(const std::string& path, int page, double* width, double* height) {
  if (!require_tool("pdfinfo")) return false;
  int status = 0;
  const std::string p = std::to_string(page);
  const std::string info = run_command("pdfinfo -f " + p + " -l " + p + " " + shell_quote(path), &status);
  if (status != 0) return false;
  // "Page    1 size: 612 x 792 pts (letter)"
  std::istringstream lines(info);
  for (std::string line; std::getline(lines, line);) {
    int number = 0;
    if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, width, height) == 3 && number == page)
      return true;
  }
  return false;
}

bool pdf_page_to_png(const std::string& path, int page, int dpi, const std::string& png_path, const PdfCrop* crop) {
  if (!require_tool("pdftoppm")) return false;
  std::string stem = png_path;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".png") == 0) stem.resize(stem.size() - 4);
  const std::string p = std::to_string(page);
  int status = 0;
  std::string area;
  if (crop)
    area = " -x " + std::to_string(crop->x) + " -y " + std::to_string(crop->y) + " -W " + std::to_string(crop->width) +
           " -H " + std::to_string(crop->height);
  run_command("pdftoppm -png -singlefile -r " + std::to_string(dpi) + area + " -f " + p + " -l " + p + " " +
                  shell_quote(path) + " " + shell_quote(stem),
              &status);
  return status == 0 && std::filesystem::exists(stem + ".png");
}

bool qpdf_check(const std::string& path, std::string* report) {
  if (!require_tool("qpdf", "qpdf")) return false;
  int status = -1;
  *report = run_command("qpdf --check " + shell_quote(path), &status);
  return status == 0 && report->find("No syntax or stream encoding errors") != std::string::npos;
}

std::string pdf_stream_data(const std::string& path, int object) {
  if (!require_tool("qpdf", "qpdf")) return {};
  int status = -1;
  std::string data = run_command(
      "qpdf --show-object=" + std::to_string(object) + " --filtered-stream-data " + shell_quote(path), &status);
  return status == 0 ? data : std::string();
}

std::string pdf_text(const std::string& path) {
  if (!require_tool("pdftotext")) return {};
  int status = -1;
  std::string text = run_command("pdftotext " + shell_quote(path) + " -", &status);
  return status == 0 ? text : std::string();
}

}  // namespace tessel_testing
