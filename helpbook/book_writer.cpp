#include "helpbook/book_writer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "helpbook/little_endian.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/process.h"

namespace helpbook {

namespace {

constexpr char kNameList[] = "::DataSpace/NameList";
constexpr char kControlData[] = "::DataSpace/Storage/MSCompressed/ControlData";
constexpr char kSpanInfo[] = "::DataSpace/Storage/MSCompressed/SpanInfo";
constexpr char kTransformList[] = "::DataSpace/Storage/MSCompressed/Transform/List";
constexpr char kResetTable[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";
constexpr char kContent[] = "::DataSpace/Storage/MSCompressed/Content";
// The transform list as other compilers write it and the format's public
// description shows it: the LZX transform's GUID string cut to 38 bytes.
constexpr char kLzxTransformList[] = "{7FC28940-9D31-11D0";

// The file header ("ITSF", version 3), header section 0 after it, then the
// directory's header ("ITSP", version 1) and its chunks.
constexpr char kFileSignature[] = "ITSF";
constexpr std::uint32_t kFileVersion = 3;
constexpr std::uint32_t kFileHeaderSize = 0x60;
constexpr std::uint32_t kFileHeaderUnknown = 1;  // 1 in every book readers open
constexpr std::uint32_t kHeaderSection0Size = 0x18;
constexpr std::uint32_t kHeaderSection0Marker = 0x01FE;  // header section 0's first DWORD
constexpr char kDirectorySignature[] = "ITSP";
constexpr std::uint32_t kDirectoryVersion = 1;
constexpr std::uint32_t kDirectoryHeaderSize = 0x54;
constexpr std::uint32_t kDirectoryHeaderUnknown = 0x0A;  // 10 in every book readers open
constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // "no chunk", and the directory's unused fields

// The compressed section's control data: six DWORDs follow the count,
// version 2 counts the reset interval and the window in frames.
constexpr std::uint32_t kControlDataDwords = 6;
constexpr char kLzxSignature[] = "LZXC";
constexpr std::uint32_t kControlDataVersion = 2;
// The reset table: version 2, 8-byte entries after a 0x28-byte header.
constexpr std::uint32_t kResetTableVersion = 2;
constexpr std::uint32_t kResetTableEntrySize = 8;
constexpr std::uint32_t kResetTableHeaderSize = 0x28;

struct Guid {
  std::uint32_t a;
  std::uint16_t b, c;
  std::uint8_t d[8];
};
constexpr Guid kFileGuid1 = {0x7C01FD10, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};
constexpr Guid kFileGuid2 = {0x7C01FD11, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};
constexpr Guid kDirectoryGuid = {0x5D02926A, 0x212E, 0x11D0, {0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};

void AppendGuid(std::string* out, const Guid& g) {
  AppendLe32(out, g.a);
  AppendLe16(out, g.b);
  AppendLe16(out, g.c);
  out->append(reinterpret_cast<const char*>(g.d), 8);
}
// ASCII text as UTF-16LE code units.
void Utf16(std::string* out, std::string_view ascii) {
  for (char c : ascii) AppendLe16(out, static_cast<unsigned char>(c));
}

// The start of every temporary name beside a book.
constexpr char kTempPrefix[] = ".chm-";
// Prefix, process id, '-', random hex, ".content".
static_assert(sizeof kTempPrefix - 1 + 10 + 1 + 12 + 8 <= inkbinder::kLongestTemporaryNameBytes);

std::string RandomSuffix() {
  std::random_device device;
  std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device());
  static const char kHex[] = "0123456789abcdef";
  std::uint64_t v = generator();
  std::string out;
  for (int i = 0; i < 12; ++i, v >>= 4) out.push_back(kHex[v & 15]);
  return out;
}

bool AllOf(const std::string& s, const char* set) {
  return !s.empty() && s.find_first_not_of(set) == std::string::npos;
}

}  // namespace

long CompileTemporaryFileProcess(const std::string& entry) {
  // .chm-<pid>-<hex>.content or .part; before, .<book>.chm.<pid>-<hex>.content.
  const std::size_t kind = entry.rfind('.');
  if (entry.empty() || entry[0] != '.' || kind == std::string::npos) return 0;
  if (entry.compare(kind, std::string::npos, ".content") != 0 &&
      entry.compare(kind, std::string::npos, ".part") != 0) {
    return 0;
  }
  const std::size_t dash = entry.rfind('-', kind);
  if (dash == std::string::npos || !AllOf(entry.substr(dash + 1, kind - dash - 1), "0123456789abcdef")) {
    return 0;
  }
  const std::size_t before_pid = entry.find_last_not_of("0123456789", dash - 1);
  if (before_pid == std::string::npos || before_pid + 1 == dash) return 0;
  const std::string head = entry.substr(0, before_pid + 1);
  if (head != kTempPrefix && !(head.size() > 5 && head.compare(head.size() - 5, 5, ".chm.") == 0)) return 0;
  return std::strtol(entry.substr(before_pid + 1, dash - before_pid - 1).c_str(), nullptr, 10);
}

void RemoveCompileLeftovers(const std::string& folder) {
  std::vector<inkbinder::FolderEntry> entries;
  if (!inkbinder::ListFolder(folder.empty() ? "." : folder, &entries)) return;
  const std::string prefix = folder.empty() ? "" : folder + "/";
  for (const inkbinder::FolderEntry& e : entries) {
    const long pid = e.regular_file ? CompileTemporaryFileProcess(e.name) : 0;
    if (pid > 0 && pid != inkbinder::CurrentProcessId() && !inkbinder::ProcessIsRunning(pid)) {
      inkbinder::DeleteFileAt(prefix + e.name);
    }
  }
}

namespace {

std::string NameListFile() {
  std::string body;
  for (const char* name : {"Uncompressed", "MSCompressed"}) {
    const std::string_view n(name);
    AppendLe16(&body, static_cast<std::uint32_t>(n.size()));
    Utf16(&body, n);
    AppendLe16(&body, 0);
  }
  std::string out;
  AppendLe16(&out, static_cast<std::uint32_t>((body.size() + 4) / 2));  // the file's length in words
  AppendLe16(&out, 2);  // two sections
  return out + body;
}

std::string ControlDataFile(const LzxSettings& lzx) {
  const std::uint32_t window_frames = (1u << lzx.window_bits) / kLzxFrameSize;
  std::string out;
  AppendLe32(&out, kControlDataDwords);
  out += kLzxSignature;
  AppendLe32(&out, kControlDataVersion);
  AppendLe32(&out, lzx.reset_interval_frames);
  AppendLe32(&out, window_frames);
  // Readers take interval / (window / 2) * this as the frames between resets.
  AppendLe32(&out, window_frames / 2);
  AppendLe32(&out, 0);
  return out;
}

// As many entries as 7-Zip counts for the section's length,
// (length + 32,769) / 32,768, or it refuses the book. That is one per frame
// the files reach into, and the frame after them when they end on a frame
// border. Where the count passes the frames written (a length one byte short
// of a frame border), the extra entry is the section's end.
std::string ResetTableFile(std::vector<std::uint64_t> frames, std::uint64_t uncompressed,
                           std::uint64_t compressed) {
  const std::uint64_t counted = (uncompressed + kLzxFrameSize + 1) / kLzxFrameSize;
  while (frames.size() < counted) frames.push_back(compressed);
  std::string out;
  AppendLe32(&out, kResetTableVersion);
  AppendLe32(&out, static_cast<std::uint32_t>(frames.size()));
  AppendLe32(&out, kResetTableEntrySize);
  AppendLe32(&out, kResetTableHeaderSize);
  AppendLe64(&out, uncompressed);
  AppendLe64(&out, compressed);
  AppendLe64(&out, kLzxFrameSize);
  for (std::uint64_t offset : frames) AppendLe64(&out, offset);
  return out;
}

bool WriteAll(std::FILE* out, std::string_view bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

}  // namespace

BookWriter::BookWriter(std::string book_path, BookSettings settings)
    : book_path_(std::move(book_path)), settings_(settings) {}

BookWriter::~BookWriter() {
  if (leftovers_.joinable()) leftovers_.join();
  compressor_.reset();
  if (content_ != nullptr) std::fclose(content_);
  if (!content_path_.empty()) inkbinder::DeleteFileAt(content_path_);
  if (!part_path_.empty()) inkbinder::DeleteFileAt(part_path_);
}

bool BookWriter::Fail(const std::string& message, std::string* error) {
  if (error->empty()) *error = message;
  return false;
}

bool BookWriter::Start(std::string* error) {
  const LzxSettings& lzx = settings_.lzx;
  const std::uint32_t window_frames =
      lzx.window_bits >= 15 && lzx.window_bits <= 21 ? (1u << lzx.window_bits) / kLzxFrameSize : 0;
  // Readers need whole half-windows between resets and at least a 64 KiB window.
  if (window_frames < 2 || lzx.reset_interval_frames == 0 ||
      (2 * lzx.reset_interval_frames) % window_frames != 0) {
    return Fail("unusable compression settings", error);
  }
  // Hidden names beside the book: no file list shows them, however briefly
  // they live. They leave the title out, so that they are never longer than
  // kLongestTemporaryNameBytes, whatever the book is called.
  const std::string folder = inkbinder::FolderOf(book_path_);
  // Beside the compile: listing a folder of 100,000 pages takes a tenth of a
  // second, longer under Wine. A leftover that stays costs only disk space.
  const auto remove_leftovers = [folder] {
    try {
      RemoveCompileLeftovers(folder);
    } catch (...) {
    }
  };
  if (!leftovers_.joinable()) {
    try {
      leftovers_ = std::thread(remove_leftovers);
    } catch (const std::system_error&) {
      remove_leftovers();  // no thread to spare: here, then
    }
  }
  const bool in_root = folder == "/" || folder == "\\";
  const std::string stem = (folder.empty() || in_root ? folder : folder + "/") + kTempPrefix +
                           std::to_string(inkbinder::CurrentProcessId()) + "-" + RandomSuffix();
  content_path_ = stem + ".content";
  content_ = inkbinder::OpenFile(content_path_, "w+b");
  if (content_ == nullptr) {
    content_path_.clear();
    return Fail("cannot write beside the book: " + book_path_, error);
  }
  compressor_ = std::make_unique<LzxSectionCompressor>(
      lzx, [this](const std::uint8_t* data, std::size_t size) {
        if (std::fwrite(data, 1, size, content_) != size) sink_failed_ = true;
        return !sink_failed_;
      });
  return true;
}

namespace {

// References to the two lists of files: an entry's index + 1, or an
// uncompressed file's with the high bit set.
constexpr std::uint32_t kUncompressedReference = 0x80000000u;

std::size_t NameHash(std::string_view name) { return std::hash<std::string_view>()(name); }

}  // namespace

std::string_view BookWriter::NameOf(std::uint32_t reference) const {
  if ((reference & kUncompressedReference) != 0) {
    return uncompressed_[(reference & ~kUncompressedReference) - 1].first;
  }
  return entries_[reference - 1].name;
}

void BookWriter::RememberName(std::uint32_t reference) {
  // At most half full: probes stay short.
  if (2 * (name_count_ + 1) > name_slots_.size()) {
    std::vector<std::uint32_t> old(std::max<std::size_t>(64, 2 * name_slots_.size()));
    old.swap(name_slots_);
    name_count_ = 0;
    for (const std::uint32_t kept : old) {
      if (kept != 0) RememberName(kept);
    }
  }
  const std::size_t mask = name_slots_.size() - 1;
  std::size_t slot = NameHash(NameOf(reference)) & mask;
  while (name_slots_[slot] != 0) slot = (slot + 1) & mask;
  name_slots_[slot] = reference;
  ++name_count_;
}

void BookWriter::BeginFile(const std::string& name) {
  entries_.push_back({name, 1, stream_size_, 0});
  RememberName(static_cast<std::uint32_t>(entries_.size()));
  file_start_ = stream_size_;
  in_file_ = true;
}

bool BookWriter::Append(const void* data, std::size_t size) {
  if (size == 0) return true;
  stream_size_ += size;
  return compressor_->Write(static_cast<const std::uint8_t*>(data), size);
}

void BookWriter::EndFile() {
  DirectoryEntry& e = entries_.back();
  e.length = stream_size_ - file_start_;
  if (e.length == 0) e.section = e.offset = 0;  // empty files live nowhere
  in_file_ = false;
}

bool BookWriter::AddFile(const std::string& name, std::string_view bytes) {
  BeginFile(name);
  const bool ok = Append(bytes.data(), bytes.size());
  EndFile();
  return ok;
}

bool BookWriter::Has(const std::string& name) const {
  if (name_slots_.empty()) return false;
  const std::size_t mask = name_slots_.size() - 1;
  for (std::size_t slot = NameHash(name) & mask; name_slots_[slot] != 0; slot = (slot + 1) & mask) {
    if (NameOf(name_slots_[slot]) == name) return true;
  }
  return false;
}

void BookWriter::AddUncompressedFile(const std::string& name, std::string_view bytes) {
  uncompressed_.emplace_back(name, bytes);
  RememberName(kUncompressedReference | static_cast<std::uint32_t>(uncompressed_.size()));
}

bool BookWriter::FinishSection(std::string* error) {
  // The reset table and the span give the files' exact length, as other
  // compilers write them; the compressed data still fills its last frame, as
  // theirs does: one reader always decodes a whole frame, the last one too.
  // And it reaches a frame past the files' end when they end on a frame
  // border: a reader extracting a file that ends there goes on to decode
  // the frame after it, which must be there.
  const std::uint64_t frames = stream_size_ / kLzxFrameSize + 1;
  const std::uint64_t padded = frames * kLzxFrameSize;
  const std::string zeros(64 * 1024, '\0');
  bool ok = true;
  for (std::uint64_t left = padded - stream_size_; ok && left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
    ok = compressor_->Write(reinterpret_cast<const std::uint8_t*>(zeros.data()), n);
    left -= n;
  }
  ok = compressor_->Finish() && ok && !sink_failed_;
  ok = std::fflush(content_) == 0 && ok;
  if (!ok) return Fail(kCannotWriteSection, error);
  if (compressor_->UncompressedSize() != padded || compressor_->FrameOffsets().size() != frames) {
    return Fail("the compressor lost count of its frames", error);
  }
  return true;
}

namespace {

// The uncompressed section: the files given for it, the compressed
// section's small files, the compressed section last.
std::vector<std::pair<std::string, std::string>> Section0Files(
    std::vector<std::pair<std::string, std::string>> given, const LzxSettings& lzx,
    const std::vector<std::uint64_t>& frame_offsets, std::uint64_t uncompressed,
    std::uint64_t compressed) {
  std::vector<std::pair<std::string, std::string>> section0 = std::move(given);
  std::string transform_list;
  Utf16(&transform_list, kLzxTransformList);
  std::string span;
  AppendLe64(&span, uncompressed);
  section0.emplace_back(kNameList, NameListFile());
  section0.emplace_back(kControlData, ControlDataFile(lzx));
  section0.emplace_back(kSpanInfo, span);
  section0.emplace_back(kTransformList, transform_list);
  section0.emplace_back(kResetTable, ResetTableFile(frame_offsets, uncompressed, compressed));
  return section0;
}

}  // namespace

namespace {

bool EntryBefore(const DirectoryEntry& a, const DirectoryEntry& b) { return NameBefore(a.name, b.name); }

void SortByName(std::vector<DirectoryEntry>* entries) {
  std::sort(entries->begin(), entries->end(), EntryBefore);
}

}  // namespace

bool BookWriter::Finish(std::string* error, const Check& before_commit) {
  // The files' names are put in order while the compressor finishes its
  // last frames, which this thread only waits for: for 100,000 pages the
  // sort took as long.
  std::vector<DirectoryEntry> entries = std::move(entries_);
  // The table of names refers into the lists that go now: a later Has() knows none.
  std::vector<std::uint32_t>().swap(name_slots_);
  name_count_ = 0;
  std::thread sorter;
  try {
    sorter = std::thread(SortByName, &entries);
  } catch (const std::system_error&) {
    SortByName(&entries);  // no thread to be had
  }
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{sorter};
  const bool section_finished = FinishSection(error);
  if (sorter.joinable()) sorter.join();
  if (!section_finished) return false;
  const std::uint64_t compressed = compressor_->CompressedSize();
  const std::vector<std::pair<std::string, std::string>> section0 =
      Section0Files(std::move(uncompressed_), settings_.lzx, compressor_->FrameOffsets(),
                    stream_size_, compressed);
  compressor_.reset();

  // The few files of the uncompressed section take their places among them.
  const auto add = [&entries](DirectoryEntry entry) {
    const auto at = std::upper_bound(entries.begin(), entries.end(), entry, EntryBefore);
    entries.insert(at, std::move(entry));
  };
  add({"/", 0, 0, 0});
  std::uint64_t offset = 0;
  for (const auto& [name, bytes] : section0) {
    add({name, 0, offset, bytes.size()});
    offset += bytes.size();
  }
  add({kContent, 0, offset, compressed});
  Directory directory;
  if (!BuildDirectory(std::move(entries), &directory, error)) return false;

  part_path_ = content_path_.substr(0, content_path_.size() - std::string(".content").size()) + ".part";
  std::FILE* out = inkbinder::OpenFile(part_path_, "wb");
  if (out == nullptr) {
    part_path_.clear();
    return Fail("cannot write beside the book: " + book_path_, error);
  }
  bool ok = WriteBook(out, section0, directory, compressed, error);
  ok = std::fclose(out) == 0 && ok;
  if (!ok) return Fail("cannot write the book " + book_path_, error);
  if (settings_.stop && settings_.stop()) return Fail("interrupted", error);

  std::fclose(content_);
  content_ = nullptr;
  inkbinder::DeleteFileAt(content_path_);
  content_path_.clear();

  if (before_commit && !before_commit(part_path_, error)) return false;
  std::error_code ec;
  std::filesystem::rename(std::filesystem::u8path(part_path_), std::filesystem::u8path(book_path_), ec);
  if (ec) return Fail("cannot put the book in its place: " + book_path_ + ": " + ec.message(), error);
  part_path_.clear();
  return true;
}

namespace {

// Where the parts of a book begin, and its whole size.
struct BookLayout {
  std::uint64_t directory_offset = 0;
  std::uint64_t directory_size = 0;
  std::uint64_t content_offset = 0;
  std::uint64_t file_size = 0;
};

// The file header and header section 0.
std::string FileHeader(const BookSettings& settings, const BookLayout& layout) {
  std::string head;
  head += kFileSignature;
  AppendLe32(&head, kFileVersion);
  AppendLe32(&head, kFileHeaderSize);
  AppendLe32(&head, kFileHeaderUnknown);
  // The time is the header's one big-endian number, as other compilers write it.
  for (int i = 3; i >= 0; --i) head.push_back(static_cast<char>((settings.timestamp >> (8 * i)) & 0xff));
  AppendLe32(&head, settings.language);
  AppendGuid(&head, kFileGuid1);
  AppendGuid(&head, kFileGuid2);
  AppendLe64(&head, kFileHeaderSize);
  AppendLe64(&head, kHeaderSection0Size);
  AppendLe64(&head, layout.directory_offset);
  AppendLe64(&head, layout.directory_size);
  AppendLe64(&head, layout.content_offset);

  AppendLe32(&head, kHeaderSection0Marker);
  AppendLe32(&head, 0);
  AppendLe64(&head, layout.file_size);
  AppendLe32(&head, 0);
  AppendLe32(&head, 0);
  return head;
}

std::string DirectoryHeader(const Directory& directory, std::uint32_t language) {
  std::string head;
  head += kDirectorySignature;
  AppendLe32(&head, kDirectoryVersion);
  AppendLe32(&head, kDirectoryHeaderSize);
  AppendLe32(&head, kDirectoryHeaderUnknown);
  AppendLe32(&head, kDirectoryChunkSize);
  AppendLe32(&head, kQuickRefDensity);
  AppendLe32(&head, directory.depth);
  AppendLe32(&head, static_cast<std::uint32_t>(directory.index_root));
  AppendLe32(&head, 0);  // the first listing chunk
  AppendLe32(&head, directory.last_listing_chunk);
  AppendLe32(&head, kNone);
  AppendLe32(&head, directory.chunk_count);
  AppendLe32(&head, language);
  AppendGuid(&head, kDirectoryGuid);
  AppendLe32(&head, kDirectoryHeaderSize);
  for (int i = 0; i < 3; ++i) AppendLe32(&head, kNone);
  return head;
}

}  // namespace

bool BookWriter::WriteBook(std::FILE* out,
                           const std::vector<std::pair<std::string, std::string>>& section0,
                           const Directory& directory, std::uint64_t compressed,
                           std::string* error) {
  std::uint64_t section0_size = 0;
  for (const auto& file : section0) section0_size += file.second.size();
  BookLayout layout;
  layout.directory_size = kDirectoryHeaderSize + directory.chunks.size();
  layout.directory_offset = kFileHeaderSize + kHeaderSection0Size;
  layout.content_offset = layout.directory_offset + layout.directory_size;
  layout.file_size = layout.content_offset + section0_size + compressed;

  const std::string head = FileHeader(settings_, layout) + DirectoryHeader(directory, settings_.language);
  if (!WriteAll(out, head) || !WriteAll(out, directory.chunks)) return false;
  for (const auto& file : section0) {
    if (!WriteAll(out, file.second)) return false;
  }
  return CopyCompressedSection(out, compressed, error) && std::fflush(out) == 0;
}

bool BookWriter::CopyCompressedSection(std::FILE* out, std::uint64_t compressed, std::string* error) {
  std::FILE* in = content_;
  if (std::fseek(in, 0, SEEK_SET) != 0) return Fail("cannot read back the compressed section", error);
  std::vector<char> buffer(1 << 20);
  std::uint64_t copied = 0;
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    if (settings_.stop && settings_.stop()) return Fail("interrupted", error);
    if (std::fwrite(buffer.data(), 1, got, out) != got) return false;
    copied += got;
  }
  if (std::ferror(in) || copied != compressed) return Fail("cannot read back the compressed section", error);
  return true;
}

}  // namespace helpbook
