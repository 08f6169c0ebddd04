#include "platform/help_storage.h"

#include <chm_lib.h>

namespace inkbinder {

namespace {

class ChmlibFile : public StoredFile {
 public:
  ChmlibFile(chmFile* book, const chmUnitInfo& unit) : book_(book), unit_(unit) {}
  std::uint64_t size() const override { return unit_.length; }
  std::size_t Read(char* buffer, std::size_t count) override {
    const LONGUINT64 left = unit_.length - offset_;
    if (count > left) count = static_cast<std::size_t>(left);
    if (count == 0) return 0;
    const LONGINT64 got = chm_retrieve_object(book_, &unit_, reinterpret_cast<unsigned char*>(buffer),
                                              offset_, static_cast<LONGINT64>(count));
    if (got <= 0) return 0;
    offset_ += static_cast<LONGUINT64>(got);
    return static_cast<std::size_t>(got);
  }

 private:
  chmFile* book_;
  chmUnitInfo unit_;
  LONGUINT64 offset_ = 0;
};

class ChmlibBook : public HelpStorage {
 public:
  explicit ChmlibBook(chmFile* book) : book_(book) {}
  ~ChmlibBook() override { chm_close(book_); }

  bool ListFiles(std::vector<std::string>* names) override {
    names->clear();
    return chm_enumerate(
               book_, CHM_ENUMERATE_ALL,
               [](chmFile*, chmUnitInfo* unit, void* context) {
                 const std::string name = unit->path;
                 if (!name.empty() && name.front() == '/' && name.back() != '/') {
                   static_cast<std::vector<std::string>*>(context)->push_back(name);
                 }
                 return CHM_ENUMERATOR_CONTINUE;
               },
               names) != 0;
  }

  std::unique_ptr<StoredFile> OpenFile(const std::string& name) override {
    chmUnitInfo unit;
    if (chm_resolve_object(book_, name.c_str(), &unit) != CHM_RESOLVE_SUCCESS) return nullptr;
    return std::make_unique<ChmlibFile>(book_, unit);
  }

 private:
  chmFile* book_;
};

}  // namespace

std::unique_ptr<HelpStorage> HelpStorage::Open(const std::string& path, std::string* error) {
  chmFile* book = chm_open(path.c_str());
  if (book == nullptr) {
    *error = "chmlib cannot open the book " + path;
    return nullptr;
  }
  return std::make_unique<ChmlibBook>(book);
}

}  // namespace inkbinder
