#include "inbox/ini_document.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/file_read.h"

// The helpers of the parse loop, kept in it: called once or twice a line.
#if defined(__GNUC__)
#define NFY_HOT_INLINE inline __attribute__((always_inline))
#else
#define NFY_HOT_INLINE inline
#endif

namespace nfy::ini {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";
// The buffer's limit: with room for what edits append before the unused
// pieces are dropped, offsets stay within 32 bits.
constexpr std::size_t kMaxText = std::size_t{1} << 31;

char foldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

NFY_HOT_INLINE bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

NFY_HOT_INLINE std::string_view trimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && blank(s[b])) ++b;
  return s.substr(b);
}

NFY_HOT_INLINE std::string_view trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The place of the first CR or LF (or "=", with `equals`) at or after
// `pos`, `size` when there is none; eight bytes at a time: the lines of a
// large inbox are most of the work of reading it.
NFY_HOT_INLINE std::size_t findBreak(const char* text, std::size_t pos, std::size_t size, bool equals) {
#if defined(__SSE2__)
  // Sixteen at a time where the processor has it: most names and values of
  // an inbox are shorter, and the search ends in its first step.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), eq = _mm_set1_epi8(equals ? '=' : '\n');
  while (pos + 16 <= size) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)), _mm_cmpeq_epi8(bytes, eq));
    if (const unsigned marks = static_cast<unsigned>(_mm_movemask_epi8(hits)))
      return pos + static_cast<std::size_t>(std::countr_zero(marks));
    pos += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const std::uint64_t third = ones * static_cast<unsigned char>(equals ? '=' : '\n');
    while (pos + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, text + pos, 8);
      const std::uint64_t cr = word ^ (ones * '\r'), lf = word ^ (ones * '\n'), eq = word ^ third;
      // A high bit for each byte that is zero in cr, lf or eq; only bytes
      // above a true one can be marked falsely, so the lowest mark is exact.
      const std::uint64_t marks = (((cr - ones) & ~cr) | ((lf - ones) & ~lf) | ((eq - ones) & ~eq)) & highs;
      if (marks) return pos + static_cast<std::size_t>(std::countr_zero(marks) / 8);
      pos += 8;
    }
  }
  while (pos < size && text[pos] != '\r' && text[pos] != '\n' && !(equals && text[pos] == '=')) ++pos;
  return pos;
}

// UTF-8 text with each broken sequence (the longest start of a valid one,
// or a single stray byte) replaced by U+FFFD, as the system's decoder does
// when it reads such a file.
std::string repairUtf8(std::string_view s) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    }
    size_t good = len ? 1 : 0;
    while (good > 0 && good < len && i + good < s.size()) {
      unsigned char next = static_cast<unsigned char>(s[i + good]);
      if (good == 1 ? (next < lo || next > hi) : (next < 0x80 || next > 0xBF)) break;
      ++good;
    }
    if (len && good == len) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      out += kReplacement;
      i += good ? good : 1;
    }
  }
  return out;
}

}  // namespace

bool isBlank(char c) { return blank(c); }

std::string_view trimBlanks(std::string_view s) { return trimmed(s); }

namespace {

// Byte for byte equal, inline: names are short, and most look-ups compare a
// name spelt exactly as stored, where a call of memcmp cost more than the
// comparison.
NFY_HOT_INLINE bool sameBytes(const char* a, const char* b, std::size_t n) {
  auto word = [](const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  };
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8)
      if (word(a + i) != word(b + i)) return false;
    return word(a + n - 8) == word(b + n - 8);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (sameBytes(a.data(), b.data(), a.size())) return true;  // mostly spelt alike
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

void appendOneLine(std::string& out, std::string_view s) {
  const std::size_t from = out.size();
  out.append(s);
  for (std::size_t i = from; i < out.size(); ++i) {
    if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
  }
}

std::string oneLine(std::string_view s) {
  std::string out;
  appendOneLine(out, s);
  return out;
}

// The parse's own search for a line's end (sixteen or eight bytes at a
// time): names are tested on every look-up.
bool hasLineBreak(std::string_view s) { return findBreak(s.data(), 0, s.size(), false) < s.size(); }

std::string_view unquoted(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::optional<std::string_view> Section::value(std::string_view key) const {
  for (std::uint32_t i = 0; i < record_->keyCount; ++i) {
    const detail::KeyRecord& k = keys_[i];
    // The length and the first letter turn most keys away without a call.
    if (k.name.size != key.size() || (!key.empty() && foldCase(text_[k.name.at]) != foldCase(key.front())) ||
        !sameName({text_ + k.name.at, k.name.size}, key))
      continue;
    if (!k.hasValue) return std::nullopt;
    return unquoted({text_ + k.value.at, k.value.size});
  }
  return std::nullopt;
}

void Section::values(std::span<const std::string_view> keys, std::span<std::optional<std::string_view>> out) const {
  // The keys asked for by their length (the last place for all longer
  // ones): a stored key is compared only with those of its own length, and
  // the walk ends once each is found (the first of a name counts, as for
  // value()).
  constexpr std::uint32_t kLongest = 32;
  std::uint32_t byLength[kLongest + 1] = {};
  std::uint32_t open = 0;
  const std::size_t n = std::min<std::size_t>(keys.size(), kMaxValues);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t bit = std::uint32_t{1} << i;
    byLength[std::min<std::size_t>(keys[i].size(), kLongest)] |= bit;
    open |= bit;
    out[i].reset();
  }
  const detail::KeyRecord* const end = keys_ + record_->keyCount;
  for (const detail::KeyRecord* key = keys_; key != end && open; ++key) {
    std::uint32_t candidates = byLength[std::min(key->name.size, kLongest)] & open;
    while (candidates) {
      const int i = std::countr_zero(candidates);
      candidates &= candidates - 1;
      // The last letter turns most names of one length away without a call
      // (TimeToLiveDate, TimeToLiveDays).
      const std::string_view wanted = keys[static_cast<std::size_t>(i)];
      const char* name = text_ + key->name.at;
      if (key->name.size != wanted.size()) continue;
      if (!wanted.empty() && foldCase(name[wanted.size() - 1]) != foldCase(wanted.back())) continue;
      if (!sameName({name, key->name.size}, wanted)) continue;
      open &= ~(std::uint32_t{1} << i);
      if (key->hasValue) out[static_cast<std::size_t>(i)] = unquoted({text_ + key->value.at, key->value.size});
    }
  }
}

Document::Document() { sections_.emplace_back().textCurrent = true; }

detail::Piece Document::append(std::string_view s) {
  if (s.empty()) return {};
  if (text_.size() + s.size() > 2 * kMaxText) throw std::length_error("INI document too large");
  detail::Piece p{static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(s.size())};
  text_.append(s);
  return p;
}

Document Document::parse(std::string_view bytes) {
  Document doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.encoding_ = Encoding::Utf8;
    bytes.remove_prefix(kBom.size());
  } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    doc.encoding_ = Encoding::Unsupported;
    return doc;
  }
  if (bytes.size() > kMaxText) throw std::length_error("INI file too large");
  if (doc.encoding_ == Encoding::Ansi) {
    // Room for what the run's edits append: the first edit of a large
    // inbox must not copy the whole text (room reserved and not touched
    // costs nothing).
    std::string text;
    text.reserve(platform::withRoomToGrow(bytes.size()));
    text.assign(bytes);
    return adopt(std::move(text));
  }
  doc.text_ = repairUtf8(bytes);
  if (doc.text_.size() > kMaxText) throw std::length_error("INI file too large");
  doc.parseText();
  return doc;
}

Document Document::adopt(std::string&& bytes) {
  const std::string_view text(bytes);
  if (text.starts_with(kBom) || text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) return parse(text);
  if (bytes.size() > kMaxText) throw std::length_error("INI file too large");
  // A file read to be parsed is the buffer itself: a large inbox is not
  // held twice. The edits go into the room the buffer has (readFile's
  // roomToGrow); the first that outgrows it copies it once.
  Document doc;
  doc.text_ = std::move(bytes);
  doc.parsedSize_ = doc.text_.size();
  doc.parseText();
  return doc;
}

std::optional<std::string_view> Document::parsedText() const {
  if (parsedSize_ != kNone) return std::string_view(text_.data(), parsedSize_);
  if (parsedKept_) return std::string_view(*parsedKept_);
  return std::nullopt;
}

void Document::parseText() {
  // The headers only: a line whose first character after its leading
  // blanks is "[" and that holds a "]" after it. Each "[" is checked where
  // it stands (a header's line holds nothing before it but blanks); the
  // line breaks are counted on the way, as the most keys the sections can
  // have.
  const char* const text = text_.data();
  const std::size_t size = text_.size();
  std::size_t breaks = 0;
  std::size_t skipUntil = 0;  // the rest of a header's line is not looked at
  auto headerAt = [&](std::size_t open) {
    if (open < skipUntil) return;
    std::size_t lineStart = open;
    while (lineStart > 0 && blank(text[lineStart - 1]) && text[lineStart - 1] != '\r' && text[lineStart - 1] != '\n')
      --lineStart;
    if (lineStart > 0 && text[lineStart - 1] != '\r' && text[lineStart - 1] != '\n') return;
    const std::size_t end = findBreak(text, open, size, false);
    const std::string_view line(text + open, end - open);
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos) return;
    detail::SectionRecord& before = sections_.back();
    before.lines.size = static_cast<std::uint32_t>(lineStart - before.lines.at);
    detail::SectionRecord& s = sections_.emplace_back();
    const std::string_view name = trimBlanks(line.substr(1, close - 1));
    s.name = {static_cast<std::uint32_t>(name.data() - text), static_cast<std::uint32_t>(name.size())};
    s.lines.at = static_cast<std::uint32_t>(lineStart);
    s.parsed = false;
    // A "[]" header is not written: its keys join the section before.
    if (name.empty()) lateNameless_ = true;
    skipUntil = end;
  };
  sections_.reserve(size / 256 + 1);
  sections_[0].parsed = false;
  sections_[0].lines.at = 0;
  std::size_t pos = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), bracket = _mm_set1_epi8('[');
  const __m128i zero = _mm_setzero_si128();
  // The breaks counted per byte lane, added up before a lane can wrap.
  __m128i tally = zero;
  unsigned tallied = 0;
  auto addTally = [&] {
    const __m128i sums = _mm_sad_epu8(tally, zero);
    breaks += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    tally = zero;
    tallied = 0;
  };
  for (; pos + 16 <= size; pos += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
    tally = _mm_sub_epi8(tally, _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
    if (++tallied == 255) addTally();
    for (unsigned opens = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, bracket))); opens;
         opens &= opens - 1)
      headerAt(pos + static_cast<std::size_t>(std::countr_zero(opens)));
  }
  addTally();
#endif
  for (; pos < size; ++pos) {
    if (text[pos] == '\r' || text[pos] == '\n') ++breaks;
    if (text[pos] == '[') headerAt(pos);
  }
  sections_.back().lines.size = static_cast<std::uint32_t>(size - sections_.back().lines.at);
  unparsed_ = sections_.size();
  // Every key of every section fits without the array moving: at most one
  // a line.
  lazyKeys_ = breaks + 1;
  keys_.reserve(lazyKeys_);
  textKept_ = text_.size();
}

void Document::parseAllKeys() const {
  for (std::size_t i = 0; unparsed_ > 0 && i < sections_.size(); ++i)
    if (!sections_[i].parsed) parseKeys(i);
}

bool Document::linesAreWritten(std::size_t i) const {
  const detail::SectionRecord& s = sections_[i];
  const char* const text = text_.data();
  std::size_t pos = s.lines.at;
  const std::size_t end = pos + s.lines.size;
  if (i > 0) {
    // "[name]" and CR LF, the name as parseText found it.
    const std::size_t close = pos + 1 + s.name.size;
    if (s.name.size == 0 || s.name.at != pos + 1 || close + 3 > end || text[close] != ']' || text[close + 1] != '\r' ||
        text[close + 2] != '\n')
      return false;
    pos = close + 3;
  }
  // Lines "name=value" and CR LF, no blank around the name or the value:
  // the common line, as parseKeys takes it as it stands.
  while (pos < end) {
    const std::size_t eq = findBreak(text, pos, end, true);
    if (eq >= end || text[eq] != '=' || eq == pos || blank(text[pos]) || text[pos] == '[' || blank(text[eq - 1]))
      return false;
    const std::size_t lineEnd = findBreak(text, eq + 1, end, false);
    if (lineEnd + 1 >= end || text[lineEnd] != '\r' || text[lineEnd + 1] != '\n') return false;
    if (eq + 1 < lineEnd && (blank(text[eq + 1]) || blank(text[lineEnd - 1]))) return false;
    pos = lineEnd + 2;
  }
  return true;
}

void Document::parseKeys(std::size_t i) const {
  detail::SectionRecord& s = sections_[i];
  const char* const text = text_.data();
  const std::size_t size = s.lines.at + s.lines.size;
  auto at = [&](const char* p) { return static_cast<std::uint32_t>(p - text); };
  s.parsed = true;
  --unparsed_;
  s.keysAt = static_cast<std::uint32_t>(keys_.size());
  s.keyCount = 0;

  // Whether the section's lines are exactly its written form (a header,
  // then key=value lines, each ending in CR LF, nothing skipped): then
  // writing it copies them.
  bool exact = true;
  bool header = i > 0;  // every section but the lines before the first header begins with one
  std::size_t pos = s.lines.at;
  while (pos < size) {
    // A line ends at CR, LF or CR LF.
    const std::size_t start = pos;
    std::size_t end = findBreak(text, pos, size, !header);
    // The first "=" of the line, found on the way to its end.
    std::size_t eqAt = std::string_view::npos;
    if (end < size && text[end] == '=') {
      eqAt = end;
      end = findBreak(text, end + 1, size, false);
    }
    pos = end;
    bool crlf = false;
    if (pos < size && text[pos++] == '\r' && pos < size && text[pos] == '\n') {
      ++pos;
      crlf = true;
    }
    const std::string_view raw(text + start, end - start);
    if (header) {
      // Found by parseText: "[", the name, "]" and what follows it.
      header = false;
      const std::string_view line = trimLeft(raw);
      const std::string_view name = piece(s.name);
      exact = crlf && line.size() == raw.size() && !name.empty() && name.size() + 2 == line.size();
      continue;
    }
    // The common line, name=value and CR LF with no blank around the name
    // or the value, is taken as it stands.
    if (crlf && eqAt != std::string_view::npos && eqAt > start && !blank(text[start]) && text[start] != '[' &&
        !blank(text[eqAt - 1]) && (eqAt + 1 == end || (!blank(text[eqAt + 1]) && !blank(text[end - 1])))) {
      detail::KeyRecord k;
      k.name = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(eqAt - start)};
      if (eqAt + 1 < end) k.value = {static_cast<std::uint32_t>(eqAt + 1), static_cast<std::uint32_t>(end - eqAt - 1)};
      keys_.push_back(k);
      ++s.keyCount;
      continue;
    }
    const std::string_view line = trimLeft(raw);
    if (line.empty()) {
      exact = false;
      continue;
    }
    const bool plain = crlf && line.size() == raw.size();
    const std::size_t eq = eqAt == std::string_view::npos ? eqAt : eqAt - static_cast<std::size_t>(line.data() - text);
    std::string_view name = trimmed(eq == std::string_view::npos ? line : line.substr(0, eq));
    // A key without a name right after another one is dropped.
    if (name.empty() && s.keyCount > 0 && keys_.back().name.size == 0) {
      exact = false;
      continue;
    }
    detail::KeyRecord k;
    k.name = {name.empty() ? 0 : at(name.data()), static_cast<std::uint32_t>(name.size())};
    std::size_t written = name.size();
    if (eq == std::string_view::npos) {
      k.hasValue = false;
    } else {
      std::string_view value = trimmed(line.substr(eq + 1));
      k.value = {value.empty() ? 0 : at(value.data()), static_cast<std::uint32_t>(value.size())};
      written += 1 + value.size();
    }
    keys_.push_back(k);
    ++s.keyCount;
    exact = exact && plain && written == line.size();
  }
  s.keyRoom = s.keyCount;
  s.textCurrent = exact;
  if (exact) s.text = s.lines;
}

void Document::buildText(std::size_t i) {
  detail::SectionRecord& s = sections_[i];
  std::size_t size = 0;
  if (s.name.size > 0) size += s.name.size + 2 + kEol.size();
  for (std::uint32_t k = 0; k < s.keyCount; ++k) {
    const detail::KeyRecord& key = keys_[s.keysAt + k];
    size += key.name.size + kEol.size() + (key.hasValue ? 1 + key.value.size : 0);
  }
  if (text_.size() + size > 2 * kMaxText) throw std::length_error("INI document too large");
  // Room first: the pieces copied below stay where they are. Grown by half
  // at least, so that building section after section stays linear.
  if (text_.capacity() < text_.size() + size)
    text_.reserve(std::max(text_.size() + size, text_.capacity() + text_.capacity() / 2));
  const std::size_t start = text_.size();
  // The names and values are moved into the written text: the old pieces
  // are left unused.
  auto move = [&](detail::Piece& p) {
    detail::Piece from = p;
    p.at = from.size ? static_cast<std::uint32_t>(text_.size()) : 0;
    text_.append(text_.data() + from.at, from.size);
  };
  if (s.name.size > 0) {
    text_ += '[';
    move(s.name);
    text_ += ']';
    text_ += kEol;
  }
  for (std::uint32_t k = 0; k < s.keyCount; ++k) {
    detail::KeyRecord& key = keys_[s.keysAt + k];
    move(key.name);
    if (key.hasValue) {
      text_ += '=';
      move(key.value);
    }
    text_ += kEol;
  }
  s.text = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(size)};
  s.textCurrent = true;
}

void Document::serializeTo(std::string& out) {
  const bool bom = encoding_ == Encoding::Utf8;
  std::size_t total = bom ? kBom.size() : 0;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    detail::SectionRecord& s = sections_[i];
    // A section not parsed yet whose lines are its written form is written
    // as they stand, still not parsed.
    if (!s.parsed) {
      if (linesAreWritten(i)) {
        s.text = s.lines;
        s.textCurrent = true;
      } else {
        parseKeys(i);
      }
    }
    if (!sections_[i].textCurrent) buildText(i);
    total += sections_[i].text.size;
  }
  compactWhenWasteful();
  out.clear();
  // Room for the text growing by the next commits too, when the buffer is
  // used again (reserved, not touched until written).
  if (out.capacity() < total) out.reserve(total + total / 8);
  if (bom) out += kBom;
  for (const detail::SectionRecord& s : sections_) out.append(text_.data() + s.text.at, s.text.size);
}

void Document::compactWhenWasteful() {
  if (text_.size() - textKept_ > std::max<std::size_t>(textKept_, 1 << 20) ||
      keysUnused_ > std::max<std::size_t>(keys_.size() / 2, 4096))
    compact();
}

void Document::compact() {
  parseAllKeys();
  // The parsed file is no longer the start of the buffer: kept aside.
  if (parsedSize_ != kNone) {
    parsedKept_.emplace(text_, 0, parsedSize_);
    parsedSize_ = kNone;
  }
  std::string text;
  text.reserve(textKept_ + (text_.size() - textKept_) / 2);
  std::vector<detail::KeyRecord> keys;
  keys.reserve(keys_.size() - keysUnused_);
  for (detail::SectionRecord& s : sections_) {
    const detail::Piece old = s.text;
    const std::uint32_t start = static_cast<std::uint32_t>(text.size());
    if (s.textCurrent) text.append(text_, old.at, old.size);
    // A piece within the section's text keeps its place in it.
    auto move = [&](detail::Piece& p) {
      if (p.size == 0) {
        p.at = 0;
      } else if (s.textCurrent && p.at >= old.at && p.at + p.size <= old.at + old.size) {
        p.at = start + (p.at - old.at);
      } else {
        const std::uint32_t at = static_cast<std::uint32_t>(text.size());
        text.append(text_, p.at, p.size);
        p.at = at;
      }
    };
    move(s.name);
    const std::uint32_t keysAt = static_cast<std::uint32_t>(keys.size());
    for (std::uint32_t k = 0; k < s.keyCount; ++k) {
      detail::KeyRecord key = keys_[s.keysAt + k];
      move(key.name);
      move(key.value);
      keys.push_back(key);
    }
    s.keysAt = keysAt;
    s.keyRoom = s.keyCount;
    if (s.textCurrent) s.text.at = start;
  }
  text_.swap(text);
  keys_.swap(keys);
  textKept_ = text_.size();
  keysUnused_ = 0;
}

namespace {
std::size_t foldedHash(std::string_view name) {
  std::size_t h = 14695981039346656037ull;  // FNV-1a over the upper-case name
  for (char c : name) h = (h ^ static_cast<unsigned char>(foldCase(c))) * 1099511628211ull;
  return h;
}
}  // namespace

void Document::addToIndex(std::size_t i) const {
  const std::size_t mask = slots_.size() - 1;
  const std::string_view name = piece(sections_[i].name);
  for (std::size_t slot = foldedHash(name) & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == 0) {
      slots_[slot] = static_cast<std::uint32_t>(i + 1);
      sections_[i].firstOfName = true;
      return;
    }
    if (sameName(piece(sections_[slots_[slot] - 1].name), name)) {
      sections_[i].firstOfName = false;
      return;
    }
  }
}

void Document::index() const {
  if (indexed_) return;
  std::size_t room = 16;
  while (room < 2 * sections_.size()) room *= 2;
  slots_.assign(room, 0);
  for (std::size_t i = 0; i < sections_.size(); ++i) addToIndex(i);
  indexed_ = true;
}

std::size_t Document::findExactly(std::string_view name) const {
  // Reads come in runs of one section.
  if (lastFound_ != kNone && sameName(piece(sections_[lastFound_].name), name)) return lastFound_;
  index();
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = foldedHash(name) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const std::size_t i = slots_[slot] - 1;
    if (sameName(piece(sections_[i].name), name)) return lastFound_ = i;
  }
  return kNone;
}

std::optional<Section> Document::find(std::string_view section) const {
  const std::size_t i = findExactly(trimBlanks(section));
  if (i == kNone) return std::nullopt;
  return view(i);
}

std::optional<std::string_view> Document::storedName(std::string_view section) const {
  const std::size_t i = findExactly(trimBlanks(section));
  if (i == kNone) return std::nullopt;
  return piece(sections_[i].name);
}

bool Document::value(std::string_view section, std::string_view key, std::string& out) const {
  out.clear();
  const std::optional<Section> s = find(section);
  if (!s) return false;
  const std::optional<std::string_view> v = s->value(trimBlanks(key));
  if (!v) return false;
  out.assign(*v);
  return true;
}

std::vector<std::string> Document::sectionNames() const {
  std::vector<std::string> names;
  for (const detail::SectionRecord& s : sections_) {
    if (s.name.size > 0) names.emplace_back(piece(s.name));
  }
  return names;
}

void Document::refreshPendingRaw() {
  if (rawSection_ == kNone) return;
  sections_[rawSection_].textCurrent = false;
  rawSection_ = kNone;
}

void Document::makeRoomForKey(detail::SectionRecord& s) {
  if (s.keyCount < s.keyRoom) return;
  // The array keeps the room of the sections not parsed yet (see
  // parseText): their parse, a read, never moves it.
  auto roomFor = [&](std::size_t more) {
    const std::size_t need = keys_.size() + more + (unparsed_ > 0 ? lazyKeys_ : 0);
    if (keys_.capacity() < need) keys_.reserve(std::max(need, 2 * keys_.capacity()));
  };
  if (s.keysAt + s.keyCount == keys_.size()) {
    // The last run of the array grows in place.
    roomFor(1);
    keys_.emplace_back();
    ++s.keyRoom;
    return;
  }
  // Moved to the end, with room for more: a section that gets one new key
  // mostly gets others.
  const std::uint32_t room = std::max<std::uint32_t>(4, 2 * s.keyCount);
  const std::uint32_t at = static_cast<std::uint32_t>(keys_.size());
  roomFor(room);
  keys_.resize(keys_.size() + room);
  std::copy_n(keys_.begin() + s.keysAt, s.keyCount, keys_.begin() + at);
  keysUnused_ += s.keyRoom;
  s.keysAt = at;
  s.keyRoom = room;
}

Document::Edit Document::set(std::string_view section, std::string_view key, std::string_view value,
                             std::optional<std::string>* before) {
  // Names or a value taken from this document would move as the buffer
  // grows: they are copied first.
  auto inBuffer = [&](std::string_view s) {
    return !s.empty() && std::less_equal<const char*>()(text_.data(), s.data()) &&
           std::less<const char*>()(s.data(), text_.data() + text_.size());
  };
  if (inBuffer(section) || inBuffer(key) || inBuffer(value))
    return set(std::string(section), std::string(key), std::string(value), before);

  refreshPendingRaw();
  // Names and a value exactly as the write gives them (leading blanks
  // dropped), for the one section that it changes: that is how the file
  // gets them, while a later read of the file, like the document itself,
  // has them trimmed.
  std::string_view rawKey = trimLeft(key);
  std::string_view rawValue = trimLeft(value);
  std::string_view rawHeader;
  std::string_view sectionRaw = trimLeft(section);
  section = trimBlanks(sectionRaw);
  key = trimBlanks(rawKey);
  std::string_view stored = trimBlanks(rawValue);
  std::size_t si = findExactly(section);
  if (si != kNone && !sections_[si].parsed) parseKeys(si);
  if (si == kNone) {
    const detail::Piece name = append(section);
    si = sections_.size();
    detail::SectionRecord& s = sections_.emplace_back();
    s.name = name;
    s.keysAt = static_cast<std::uint32_t>(keys_.size());
    rawHeader = sectionRaw;
    if (indexed_) {
      if (2 * sections_.size() > slots_.size()) {
        indexed_ = false;
      } else {
        addToIndex(si);
      }
    }
  }
  detail::SectionRecord& s = sections_[si];
  std::uint32_t index = 0;
  while (index < s.keyCount && !sameName(piece(keys_[s.keysAt + index].name), key)) ++index;
  std::string spelling;  // the existing key's name
  if (index == s.keyCount) {
    const detail::Piece name = append(key);
    makeRoomForKey(s);
    keys_[s.keysAt + s.keyCount++] = detail::KeyRecord{name, {}, true};
    if (key.find('=') != std::string_view::npos) keyWithEquals_ = true;
  } else {
    const detail::KeyRecord& k = keys_[s.keysAt + index];
    if (k.hasValue && piece(k.value) == rawValue) return Edit::Unchanged;
    if (before && k.hasValue) *before = std::string(unquoted(piece(k.value)));
    spelling = piece(k.name);  // an existing key keeps its spelling
    rawKey = spelling;
  }
  const detail::Piece storedPiece = append(stored);
  detail::KeyRecord& k = keys_[s.keysAt + index];
  k.hasValue = true;
  k.value = storedPiece;
  s.textCurrent = false;
  if (rawHeader.size() > section.size() || rawKey.size() > key.size() || rawValue.size() > stored.size()) {
    // The section's text with the raw pieces; the document keeps the trimmed
    // ones.
    std::string raw;
    if (s.name.size > 0) {
      raw += '[';
      raw += rawHeader.empty() ? piece(s.name) : rawHeader;
      raw += ']';
      raw += kEol;
    }
    for (std::uint32_t i = 0; i < s.keyCount; ++i) {
      const detail::KeyRecord& each = keys_[s.keysAt + i];
      raw += i == index ? rawKey : piece(each.name);
      if (each.hasValue) {
        raw += '=';
        raw += i == index ? rawValue : piece(each.value);
      }
      raw += kEol;
    }
    s.text = append(raw);
    s.textCurrent = true;
    rawSection_ = si;
  }
  compactWhenWasteful();
  return Edit::Changed;
}

bool Document::removeSection(std::string_view section) {
  refreshPendingRaw();
  // Unlike reads and writes, a deletion takes the name as it is: blanks
  // around it are part of it, and then no section has it.
  const std::size_t i = findExactly(section);
  if (i == kNone) return false;
  detail::SectionRecord& s = sections_[i];
  if (!s.parsed) {
    // Its keys go unparsed.
    s.parsed = true;
    --unparsed_;
    s.keysAt = s.keyCount = s.keyRoom = 0;
  }
  if (i == 0) {
    // The lines before the first header: they go, the place stays.
    s.keyCount = 0;
    s.text = {};
    s.textCurrent = true;
  } else {
    keysUnused_ += s.keyRoom;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
    indexed_ = false;  // the places after it moved
    lastFound_ = kNone;
  }
  compactWhenWasteful();
  return true;
}

}  // namespace nfy::ini
