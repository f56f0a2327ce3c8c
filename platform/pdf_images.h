// The pictures of a PDF file: one image XObject per distinct picture, so a
// logo drawn on every sheet is stored once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

class PdfBytes;
class PdfFile;

class PdfImages {
 public:
  // The resource number of the picture (shown as /I<number>): width x
  // height pixels, three bytes red, green, blue each, rows top first. A
  // picture not met before goes to the file now.
  int use(PdfFile& file, int width, int height, std::string rgb);
  // Their entries ("/I1 9 0 R ...") for the file's resources.
  void write_resources(PdfBytes* resources) const;
  size_t count() const { return objects_.size(); }

 private:
  std::map<std::tuple<uint64_t, int, int>, int> seen_;  // content -> resource
  std::vector<int> objects_;                            // by resource number - 1
};
