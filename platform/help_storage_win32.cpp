#include "platform/help_storage.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#include <utility>

#include "platform/wide_text_win32.h"

namespace inkbinder {

// itss.dll's storage, which the help viewer reads books through. The
// compiler's headers do not declare it. Outside the anonymous namespace: the
// objects come from the system, and a type only this file could derive from
// lets the compiler take its calls for unreachable.
struct IITStorage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode,
                                                   SNB exclude, DWORD reserved, IStorage** storage) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgOpenStorageOnILockBytes(ILockBytes*, IStorage*, DWORD, SNB, DWORD,
                                                               IStorage**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StgSetTimes(const WCHAR*, const FILETIME*, const FILETIME*,
                                                const FILETIME*) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetControlData(void*) = 0;
  virtual HRESULT STDMETHODCALLTYPE DefaultControlData(void**) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compact(const WCHAR*, int) = 0;
};

namespace {

const CLSID kClsidItStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kIidItStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};

// Holds one reference and gives it back.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_ != nullptr) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() { return &p_; }
  void Swap(ComRef& other) { std::swap(p_, other.p_); }

 private:
  T* p_ = nullptr;
};

// COM for the thread that reads the book; a thread that has it already keeps its own.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

std::string Hex(HRESULT hr) {
  char text[16];
  wsprintfA(text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

constexpr DWORD kReadShared = STGM_READ | STGM_SHARE_DENY_WRITE;
// Streams and inner storages are opened exclusively, as IStorage wants.
constexpr DWORD kReadInner = STGM_READ | STGM_SHARE_EXCLUSIVE;

class ItssFile : public StoredFile {
 public:
  explicit ItssFile(IStream* stream) : stream_(stream) {
    STATSTG stat = {};
    if (SUCCEEDED(stream_->Stat(&stat, STATFLAG_NONAME))) size_ = stat.cbSize.QuadPart;
  }
  ~ItssFile() override { stream_->Release(); }
  ItssFile(const ItssFile&) = delete;
  ItssFile& operator=(const ItssFile&) = delete;

  std::uint64_t size() const override { return size_; }
  std::size_t Read(char* buffer, std::size_t count) override {
    std::size_t total = 0;
    while (total < count) {
      const ULONG want = static_cast<ULONG>(count - total > 0x40000000 ? 0x40000000 : count - total);
      ULONG got = 0;
      if (FAILED(stream_->Read(buffer + total, want, &got)) || got == 0) break;
      total += got;
    }
    return total;
  }

 private:
  IStream* stream_;
  std::uint64_t size_ = 0;
};

class ItssBook : public HelpStorage {
 public:
  bool Open(const std::string& path, std::string* error) {
    ComRef<IITStorage> factory;
    HRESULT hr = CoCreateInstance(kClsidItStorage, nullptr, CLSCTX_INPROC_SERVER, kIidItStorage,
                                  reinterpret_cast<void**>(factory.out()));
    if (FAILED(hr)) {
      *error = "the system's help storage (itss.dll) is not available (" + Hex(hr) + ")";
      return false;
    }
    std::wstring wide = Utf8ToWide(path);
    for (wchar_t& c : wide) {
      if (c == L'/') c = L'\\';
    }
    hr = factory->StgOpenStorage(wide.c_str(), nullptr, kReadShared, nullptr, 0, root_.out());
    if (FAILED(hr)) {
      *error = "the system's help storage cannot open the book " + path + " (" + Hex(hr) + ")";
      return false;
    }
    return true;
  }

  bool ListFiles(std::vector<std::string>* names) override {
    names->clear();
    return List(root_.get(), "/", names);
  }

  std::unique_ptr<StoredFile> OpenFile(const std::string& name) override {
    // Folder by folder, as a storage holds them.
    ComRef<IStorage> inner;  // null while in the root
    std::size_t pos = name.empty() || name[0] != '/' ? 0 : 1;
    std::size_t slash;
    while ((slash = name.find('/', pos)) != std::string::npos) {
      ComRef<IStorage> next;
      IStorage* parent = inner.get() != nullptr ? inner.get() : root_.get();
      if (FAILED(parent->OpenStorage(Utf8ToWide(name.substr(pos, slash - pos)).c_str(), nullptr,
                                     kReadInner, nullptr, 0, next.out()))) {
        return nullptr;
      }
      inner.Swap(next);
      pos = slash + 1;
    }
    IStorage* folder = inner.get() != nullptr ? inner.get() : root_.get();
    IStream* stream = nullptr;
    if (FAILED(folder->OpenStream(Utf8ToWide(name.substr(pos)).c_str(), nullptr, kReadInner, 0, &stream)) ||
        stream == nullptr) {
      return nullptr;
    }
    return std::make_unique<ItssFile>(stream);
  }

 private:
  bool List(IStorage* folder, const std::string& prefix, std::vector<std::string>* names) {
    ComRef<IEnumSTATSTG> elements;
    if (FAILED(folder->EnumElements(0, nullptr, 0, elements.out()))) return false;
    STATSTG stat;
    ULONG fetched = 0;
    while (elements->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
      std::string name = WideToUtf8(stat.pwcsName != nullptr ? stat.pwcsName : L"");
      CoTaskMemFree(stat.pwcsName);
      while (!name.empty() && name.back() == '/') name.pop_back();
      if (name.empty()) continue;
      if (stat.type == STGTY_STORAGE) {
        ComRef<IStorage> inner;
        if (FAILED(folder->OpenStorage(Utf8ToWide(name).c_str(), nullptr, kReadInner, nullptr, 0,
                                       inner.out())) ||
            !List(inner.get(), prefix + name + "/", names)) {
          return false;
        }
      } else {
        names->push_back(prefix + name);
      }
    }
    return true;
  }

  ComScope com_;  // first in, last out: the storage goes before COM does
  ComRef<IStorage> root_;
};

}  // namespace

std::unique_ptr<HelpStorage> HelpStorage::Open(const std::string& path, std::string* error) {
  auto book = std::make_unique<ItssBook>();
  if (!book->Open(path, error)) return nullptr;
  return book;
}

}  // namespace inkbinder
