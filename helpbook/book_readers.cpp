#include "helpbook/book_readers.h"

#include <chm_lib.h>
#include <mspack.h>

#include <algorithm>
#include <functional>

#include "platform/process.h"
#include "testing/temp_dir.h"

namespace helpbook::testing {

ChmlibBook::ChmlibBook(const std::string& path) : handle_(chm_open(path.c_str())) {}

ChmlibBook::~ChmlibBook() {
  if (handle_ != nullptr) chm_close(handle_);
}

bool ChmlibBook::Read(const std::string& name, std::string* bytes) {
  bytes->clear();
  chmUnitInfo ui;
  if (handle_ == nullptr || chm_resolve_object(handle_, name.c_str(), &ui) != CHM_RESOLVE_SUCCESS) {
    return false;
  }
  std::string buffer(1 << 16, '\0');
  for (LONGUINT64 at = 0; at < ui.length;) {
    const LONGINT64 want = static_cast<LONGINT64>(std::min<LONGUINT64>(buffer.size(), ui.length - at));
    const LONGINT64 got =
        chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(&buffer[0]), at, want);
    if (got != want) return false;
    bytes->append(buffer.data(), static_cast<std::size_t>(got));
    at += static_cast<LONGUINT64>(want);
  }
  return true;
}

std::vector<std::string> ChmlibBook::Names() {
  std::vector<std::string> names;
  if (handle_ == nullptr) return names;
  chm_enumerate(
      handle_, CHM_ENUMERATE_ALL,
      [](chmFile*, chmUnitInfo* ui, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(ui->path);
        return CHM_ENUMERATOR_CONTINUE;
      },
      &names);
  return names;
}

namespace {

// Opens `book` with libmspack's help reader (whole, or only its headers when
// `quick`) and hands it to `read`; closes it whatever happens.
bool WithMspackBook(const std::string& book, bool quick, std::string* error,
                    const std::function<bool(mschm_decompressor*, mschmd_header*)>& read) {
  mschm_decompressor* chmd = mspack_create_chm_decompressor(nullptr);
  if (chmd == nullptr) {
    *error = "libmspack has no help-file reader";
    return false;
  }
  mschmd_header* chm = quick ? chmd->fast_open(chmd, book.c_str()) : chmd->open(chmd, book.c_str());
  if (chm == nullptr) {
    *error = "libmspack cannot open the book (error " + std::to_string(chmd->last_error(chmd)) + ")";
    mspack_destroy_chm_decompressor(chmd);
    return false;
  }
  const bool ok = read(chmd, chm);
  chmd->close(chmd, chm);
  mspack_destroy_chm_decompressor(chmd);
  return ok;
}

}  // namespace

bool MspackExtractAll(const std::string& book, std::map<std::string, std::string>* files,
                      std::string* error) {
  files->clear();
  return WithMspackBook(book, false, error, [&](mschm_decompressor* chmd, mschmd_header* chm) {
    inkbinder::testing::ScopedTempDir scratch("mspack");
    const std::string out = scratch / "file";
    for (mschmd_file* f = chm->files; f != nullptr; f = f->next) {
      if (chmd->extract(chmd, f, out.c_str()) != MSPACK_ERR_OK) {
        *error = std::string("libmspack cannot extract ") + f->filename + " (error " +
                 std::to_string(chmd->last_error(chmd)) + ")";
        return false;
      }
      (*files)[f->filename] = inkbinder::testing::ReadBytes(out);
    }
    return true;
  });
}

bool MspackFastFind(const std::string& book, const std::vector<std::string>& names,
                    std::map<std::string, std::string>* files, std::string* error) {
  files->clear();
  // The quick open reads only the headers: lookups must go through the index.
  return WithMspackBook(book, true, error, [&](mschm_decompressor* chmd, mschmd_header* chm) {
    inkbinder::testing::ScopedTempDir scratch("mspack");
    const std::string out = scratch / "file";
    for (const std::string& name : names) {
      mschmd_file file;
      if (chmd->fast_find(chmd, chm, name.c_str(), &file, sizeof file) != MSPACK_ERR_OK ||
          file.section == nullptr) {
        *error = "libmspack's quick lookup does not find " + name;
        return false;
      }
      file.filename = const_cast<char*>(name.c_str());
      if (chmd->extract(chmd, &file, out.c_str()) != MSPACK_ERR_OK) {
        *error = "libmspack cannot extract " + name;
        return false;
      }
      (*files)[name] = inkbinder::testing::ReadBytes(out);
    }
    return true;
  });
}

namespace {

// Runs 7-Zip on `args`; its standard output, or false with its words.
bool RunSevenZip(const std::vector<std::string>& args, std::string* out, std::string* error) {
  inkbinder::ProcessOptions options;
  options.capture_output = true;
  options.capture_errors = true;
  options.environment = {{"LC_ALL", "C.UTF-8"}};  // names as UTF-8, whatever the caller's locale
  const auto seven_zip = inkbinder::Process::Start(INKBINDER_7Z, args, options, error);
  if (seven_zip == nullptr) return false;
  if (seven_zip->Wait() != 0) {
    *error = "7-Zip refuses the book: " + seven_zip->Output() + seven_zip->Errors();
    return false;
  }
  *out = seven_zip->Output();
  return true;
}

}  // namespace

bool SevenZipExtractAll(const std::string& book, std::map<std::string, std::string>* files,
                        std::string* error) {
  files->clear();
  // The listing names the files and their sizes in the order extraction to
  // standard output writes them; no name has to fit the file system here.
  std::string listing;
  std::string data;
  if (!RunSevenZip({"l", "-slt", book}, &listing, error) ||
      !RunSevenZip({"x", "-so", book}, &data, error)) {
    return false;
  }
  const std::size_t items = listing.find("\n----------\n");
  if (items == std::string::npos) {
    *error = "7-Zip lists no files: " + listing;
    return false;
  }
  std::string name;
  std::size_t at = 0;
  std::size_t line_start = items + 12;
  while (line_start < listing.size()) {
    std::size_t line_end = listing.find('\n', line_start);
    if (line_end == std::string::npos) line_end = listing.size();
    const std::string line = listing.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    if (line.rfind("Path = ", 0) == 0) {
      name = "/" + line.substr(7);
    } else if (line.rfind("Size = ", 0) == 0) {
      const std::size_t size = std::stoull(line.substr(7));
      if (at + size > data.size()) {
        *error = "7-Zip gives fewer bytes than it lists, at " + name;
        return false;
      }
      (*files)[name] = data.substr(at, size);
      at += size;
    }
  }
  if (at != data.size()) {
    *error = "7-Zip gives more bytes than it lists";
    return false;
  }
  return true;
}

}  // namespace helpbook::testing
