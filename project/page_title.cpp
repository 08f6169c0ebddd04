#include "project/page_title.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/files.h"
#include "platform/text.h"

namespace inkbinder {

std::optional<std::string> TextBetween(std::string_view text, std::string_view first,
                                       std::string_view second) {
  if (first.empty()) return std::nullopt;
  const size_t at = text.find(first);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t start = at + first.size();
  const size_t next = text.find(first, start);
  const std::string_view piece =
      text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start);
  if (piece.empty()) return std::nullopt;
  if (second.empty()) return std::string(piece);
  return std::string(piece.substr(0, piece.find(second)));
}

std::string CutAtCharacter(std::string utf8, size_t limit) {
  if (utf8.size() <= limit) return utf8;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
  utf8.resize(end);
  return utf8;
}

namespace {

constexpr std::string_view kOpenTag = "<title>";
constexpr std::string_view kCloseTag = "</title>";

// How much of the text after the tag is collected.
constexpr size_t kTitleReadLimit = kTitleReadByteLimit + kCloseTag.size();

// Both tags are ASCII; '<' and CR never occur inside a multi-byte character of
// UTF-8 or code page 936, so the page can be scanned byte by byte in either.
bool EndsWithTag(const std::string& s, std::string_view tag) {
  if (s.size() < tag.size()) return false;
  const size_t base = s.size() - tag.size();
  for (size_t i = 0; i < tag.size(); ++i) {
    if (AsciiLower(s[base + i]) != tag[i]) return false;
  }
  return true;
}

// Checks, a byte at a time, that one line is valid UTF-8 and whether it holds
// a character of three or more bytes.
class LineUtf8Check {
 public:
  void Reset() { *this = LineUtf8Check(); }
  void Feed(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size() && valid_) {
      if (pending_.empty()) {
        // ASCII changes nothing: skip it eight bytes at a time (a line can be a gigabyte).
        std::uint64_t word;
        while (i + sizeof word <= bytes.size()) {
          std::memcpy(&word, bytes.data() + i, sizeof word);
          if ((word & 0x8080808080808080u) != 0) break;
          i += sizeof word;
        }
        if (i == bytes.size()) break;
      }
      Feed(static_cast<unsigned char>(bytes[i++]));
    }
  }
  void Feed(unsigned char b) {
    if (!valid_) return;
    if (pending_.empty()) {
      if (b < 0x80) return;
      need_ = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
      if (need_ == 0) {
        valid_ = false;
        return;
      }
    }
    pending_.push_back(static_cast<char>(b));
    if (pending_.size() < need_) return;
    if (!IsValidUtf8(pending_)) valid_ = false;
    if (need_ >= 3) wide_ = true;
    pending_.clear();
  }
  bool SaysUtf8() const { return valid_ && pending_.empty() && wide_; }

 private:
  std::string pending_;
  size_t need_ = 0;
  bool valid_ = true;
  bool wide_ = false;
};

enum class Encoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

// Hands out a page's bytes in pieces: as they are, or UTF-16 turned into UTF-8.
class PageReader {
 public:
  // `size` as the file had it when opened: reads stop there, without a read
  // to find the end. UINT64_MAX reads to the end.
  PageReader(RegularFileReader* file, std::uint64_t size) : file_(file), left_(size) {}

  // Looks at the start of the page for a byte order mark.
  Encoding Start() {
    Fill();
    const std::string_view head(raw_, raw_size_);
    if (head.substr(0, 3) == "\xEF\xBB\xBF") return Skip(3, Encoding::kUtf8);
    if (head.substr(0, 2) == "\xFF\xFE") return Skip(2, Encoding::kUtf16Le);
    if (head.substr(0, 2) == "\xFE\xFF") return Skip(2, Encoding::kUtf16Be);
    return encoding_ = Encoding::kAnsi;
  }

  // The next piece of text; false at the end of the page or on a read error.
  bool Next(std::string_view* piece) {
    if (raw_size_ == 0 && !Fill()) return false;
    if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) {
      std::string units = carry_ + std::string(raw_ + offset_, raw_size_ - offset_);
      raw_size_ = 0;
      offset_ = 0;
      size_t usable = units.size() & ~size_t{1};
      // Keep a high surrogate whose partner has not been read yet.
      const bool big = encoding_ == Encoding::kUtf16Be;
      if (usable >= 2 && !at_end_) {
        const auto hi = static_cast<unsigned char>(units[usable - (big ? 2 : 1)]);
        if (hi >= 0xD8 && hi <= 0xDB) usable -= 2;
      }
      carry_ = units.substr(usable);
      decoded_ = Utf16ToUtf8(std::string_view(units).substr(0, usable), big);
      *piece = decoded_;
      return true;
    }
    *piece = std::string_view(raw_ + offset_, raw_size_ - offset_);
    raw_size_ = 0;
    offset_ = 0;
    return true;
  }

  bool failed() const { return failed_; }

 private:
  Encoding Skip(size_t n, Encoding e) {
    offset_ = n;
    return encoding_ = e;
  }
  bool Fill() {
    if (at_end_) return false;
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(sizeof raw_, left_));
    raw_size_ = 0;
    const bool read = want == 0 || file_->Read(raw_, want, &raw_size_);
    offset_ = 0;
    left_ -= raw_size_;
    if (raw_size_ < want || left_ == 0) {
      at_end_ = true;
      failed_ = !read;
    }
    return raw_size_ > 0;
  }

  RegularFileReader* file_;
  std::uint64_t left_;
  char raw_[16384];
  size_t raw_size_ = 0;
  size_t offset_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
  Encoding encoding_ = Encoding::kAnsi;
  std::string carry_;
  std::string decoded_;
};

enum class ScanState { kSeek, kCollect, kRestOfLine, kDone };

// Finds the first title tag in a page's text, fed piece by piece, and keeps
// what follows it on its line; notes meanwhile whether the title's line is
// UTF-8.
class TitleScan {
 public:
  void Feed(std::string_view chunk);
  bool found() const { return state_ != ScanState::kSeek; }
  bool done() const { return state_ == ScanState::kDone; }
  // What follows the tag, up to the next tag or the line end.
  std::string& piece() { return piece_; }
  bool LineSaysUtf8() const { return utf8_.SaysUtf8(); }

 private:
  // Takes one byte while seeking the tag.
  void Seek(char c, std::string_view chunk, size_t next);
  // Feeds the title line's bytes in chunk[..end) to the UTF-8 check.
  void FeedLine(std::string_view chunk, size_t end);

  ScanState state_ = ScanState::kSeek;
  size_t matched_ = 0;     // bytes of "<title>" matched so far on this line
  bool after_cr_ = false;  // an LF right after CR belongs to the line end
  size_t unchecked_ = 0;   // bytes before this, in this piece, are accounted for
  std::string piece_;
  LineUtf8Check utf8_;
};

void TitleScan::FeedLine(std::string_view chunk, size_t end) {
  size_t from = end;
  while (from > unchecked_ && chunk[from - 1] != '\r') --from;
  if (from > unchecked_) utf8_.Reset();
  utf8_.Feed(chunk.substr(from, end - from));
}

void TitleScan::Seek(char c, std::string_view chunk, size_t next) {
  if (AsciiLower(c) != kOpenTag[matched_]) {
    matched_ = (c == '<') ? 1 : 0;
  } else if (++matched_ == kOpenTag.size()) {
    state_ = ScanState::kCollect;
    FeedLine(chunk, next);
  }
}

void TitleScan::Feed(std::string_view chunk) {
  // While seeking, only '<' can start the tag: jump to the next one with
  // memchr. The UTF-8 check needs the bytes of the title line only: where
  // that line starts is looked up backwards once the tag is found, and at
  // the end of each piece for the line that goes on into the next.
  unchecked_ = 0;
  size_t i = 0;
  while (i < chunk.size() && state_ != ScanState::kDone) {
    if (state_ == ScanState::kRestOfLine) {
      // The title is complete: only where the line ends, and whether it is UTF-8, still count.
      const size_t cr = std::min(chunk.find('\r', i), chunk.size());
      utf8_.Feed(chunk.substr(i, cr - i));
      i = cr;
      if (i == chunk.size()) break;
    }
    if (state_ == ScanState::kSeek && matched_ == 0) {
      i = std::min(chunk.find('<', i), chunk.size());
      if (i == chunk.size()) break;
      // Pages are full of other markup: most '<' are told from the tag by
      // the next byte alone, and passed over as taking them would.
      if (i + 1 < chunk.size() && AsciiLower(chunk[i + 1]) != kOpenTag[1]) {
        after_cr_ = false;
        ++i;
        continue;
      }
    }
    if (state_ == ScanState::kCollect && !after_cr_) {
      // Only '>' can end a tag and only CR the line: the bytes before either
      // are taken at once, short of the read limit.
      const size_t room = kTitleReadLimit - 1 - std::min(piece_.size(), kTitleReadLimit - 1);
      const size_t end = std::min(chunk.size(), i + room);
      size_t stop = i;
      while (stop < end && chunk[stop] != '>' && chunk[stop] != '\r') ++stop;
      piece_.append(chunk.data() + i, stop - i);
      utf8_.Feed(chunk.substr(i, stop - i));
      i = stop;
      if (i == chunk.size()) break;
    }
    const char c = chunk[i++];
    if (after_cr_) {
      after_cr_ = false;
      if (c == '\n') continue;
    }
    if (c == '\r') {
      after_cr_ = true;
      if (state_ == ScanState::kSeek) {
        matched_ = 0;
        utf8_.Reset();
        unchecked_ = i;
      } else {
        state_ = ScanState::kDone;
      }
      continue;
    }
    if (state_ == ScanState::kSeek) {
      Seek(c, chunk, i);
      continue;
    }
    utf8_.Feed(static_cast<unsigned char>(c));
    if (state_ == ScanState::kCollect) {
      piece_.push_back(c);
      if (c == '>' && EndsWithTag(piece_, kOpenTag)) {
        piece_.resize(piece_.size() - kOpenTag.size());
        state_ = ScanState::kRestOfLine;
      } else if ((c == '>' && EndsWithTag(piece_, kCloseTag)) || piece_.size() >= kTitleReadLimit) {
        state_ = ScanState::kRestOfLine;
      }
    }
  }
  if (state_ == ScanState::kSeek) FeedLine(chunk, chunk.size());
}

// The entry name in what followed the tag: decoded, lower-cased, cut at the
// closing tag and at the read limit.
std::optional<std::string> TitleFromPiece(std::string piece, bool code_page_text) {
  const std::string text = code_page_text ? CodePageToUtf8(piece, kSystemAnsi) : std::move(piece);
  std::optional<std::string> title =
      TextBetween(std::string(kOpenTag) + LowerCase(text), kOpenTag, kCloseTag);
  if (title) *title = CutAtCharacter(std::move(*title), kTitleReadByteLimit);
  return title;
}

}  // namespace

std::optional<std::string> ReadPageTitle(const std::string& path,
                                         const std::function<bool()>& stop) {
  RegularFileReader file;
  if (!file.Open(path)) return std::nullopt;
  // Size 0 may be a file that does not know its size (under /proc): read to its end.
  PageReader reader(&file, file.size() == 0 ? UINT64_MAX : file.size());
  const Encoding encoding = reader.Start();
  TitleScan scan;
  std::string_view chunk;
  bool stopped = false;
  while (!scan.done() && !(stopped = stop && stop()) && reader.Next(&chunk)) scan.Feed(chunk);
  if (reader.failed() || stopped) return std::nullopt;
  if (!scan.found()) return std::string();
  return TitleFromPiece(std::move(scan.piece()),
                        encoding == Encoding::kAnsi && !scan.LineSaysUtf8());
}

}  // namespace inkbinder
