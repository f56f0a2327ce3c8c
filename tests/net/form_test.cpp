// Form bodies: byte encoding rules, field text joining, the announced
// lengths against the bytes actually sent, and field ownership.
#include "net/qelform.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

int collect(void* context, const char* data, int length) {
  static_cast<std::string*>(context)->append(data, static_cast<size_t>(length));
  return 0;
}
int refuse(void*, const char*, int) {
  return -1;
}

struct FieldList {
  QELHTTPField* head = nullptr;
  ~FieldList() { QELFormClear(&head); }
};

std::string temp_file(const std::string& contents) {
  char name[] = "/tmp/tessel-form-XXXXXX";
  int fd = mkstemp(name);
  ::close(fd);
  std::ofstream(name, std::ios::binary) << contents;
  return name;
}

TEST(FormEncoding, ByteRules) {
  std::string out;
  const char text[] = "a Z,-./*_~\x80=&";
  long n = QELFormEncode(text, sizeof text - 1, collect, &out);
  EXPECT_EQ(out, "a+Z,-./*_%7E%80%3D%26");
  EXPECT_EQ(n, static_cast<long>(out.size()));
  EXPECT_EQ(QELFormEncode(text, sizeof text - 1, nullptr, nullptr), n);
  EXPECT_EQ(QELFormEncode(text, sizeof text - 1, refuse, nullptr), -1);
}

TEST(FormEncoding, FieldTextAndLengths) {
  FieldList fields;
  QELFormAddValue(&fields.head, "a", "1", 1);
  QELFormAddValue(&fields.head, "b", "two words", 0);
  std::string out;
  EXPECT_EQ(QELFormFieldText(fields.head, 1, collect, &out), 15);
  EXPECT_EQ(out, "a=1&b=two+words");
  EXPECT_EQ(QELFormEncodedLength(fields.head), static_cast<long>(out.size()));
  FieldList none;
  EXPECT_EQ(QELFormEncodedLength(none.head), 1);

  // A GET skips the trailing file field but still writes the '&' before it.
  std::string path = temp_file("x y");
  QELFormAddFile(&fields.head, path.c_str(), "text/plain", "f", 1);
  out.clear();
  QELFormFieldText(fields.head, 1, collect, &out);
  EXPECT_EQ(out, "a=1&b=two+words&");
  out.clear();
  QELFormFieldText(fields.head, 0, collect, &out);
  EXPECT_EQ(out, "a=1&b=two+words&f=x+y");
  EXPECT_EQ(QELFormEncodedLength(fields.head), static_cast<long>(out.size()));
  unlink(path.c_str());
  EXPECT_EQ(QELFormEncodedLength(fields.head), -1);  // file gone
}

TEST(FormMultipart, LengthMatchesBody) {
  FieldList fields;
  std::string path = temp_file("0123456789");
  QELFormAddValue(&fields.head, "note", "hi", 1);
  QELHTTPField* file = QELFormAddFile(&fields.head, path.c_str(), "application/octet-stream", "upload", 1);
  ASSERT_EQ(QELFormSetFileName(file, "ten.bin"), 0);
  EXPECT_EQ(QELFormSetFileName(fields.head, "x"), -1);  // value field
  std::string body;
  ASSERT_EQ(QELFormMultipartBody(fields.head, "NEXTPART00000000100", collect, &body), 0);
  EXPECT_EQ(body,
            "--NEXTPART00000000100\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n"
            "--NEXTPART00000000100\r\nContent-Disposition: form-data; name=\"upload\"; filename=\"ten.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n0123456789\r\n--NEXTPART00000000100--\r\n");
  EXPECT_EQ(QELFormMultipartLength(fields.head, "NEXTPART00000000100"), static_cast<long>(body.size()));
  FieldList none;
  EXPECT_EQ(QELFormMultipartLength(none.head, "B"), 0);
  body.clear();
  EXPECT_EQ(QELFormMultipartBody(none.head, "B", collect, &body), 0);
  EXPECT_EQ(body, "");
  unlink(path.c_str());
  body.clear();
  EXPECT_EQ(QELFormMultipartBody(fields.head, "B", collect, &body), -1);
}

}  // namespace
