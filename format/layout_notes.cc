// The notes on what the pass changed where it shows: the content of
// elements whose spaces or line breaks matter, and regions left open.
#include <algorithm>
#include <array>

#include "format/explain.h"
#include "format/format.h"
#include "format/format_text.h"

namespace tagfmt {

namespace {

enum class Shows { kNothing, kSpacesOnPage, kSpacesInOutput, kBreaks };

struct Sensitive {
  std::string_view name;
  Shows shows;
};

constexpr std::array<Sensitive, 5> kSensitive = {{
    {"pre", Shows::kSpacesOnPage},
    {"textarea", Shows::kSpacesOnPage},
    {"xsl:text", Shows::kSpacesInOutput},
    {"script", Shows::kBreaks},
    {"style", Shows::kBreaks},
}};

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// What shows of the element whose opening tag is `tag`, named `name`.
Shows showsOf(std::string_view tag, std::string_view name) {
  for (const Sensitive& s : kSensitive) {
    if (sameName(name, s.name)) return s.shows;
  }
  // The value after its quote; a tag may end right after the "=".
  constexpr std::string_view kSpace = "xml:space=";
  const std::size_t space = tag.find(kSpace);
  if (space != std::string_view::npos && tag.size() > space + kSpace.size() &&
      tag.substr(space + kSpace.size() + 1, 8) == "preserve") {
    return Shows::kSpacesInOutput;
  }
  return Shows::kNothing;
}

// Where the closing tag of `name` that ends the element opened just before
// `from` starts, counting elements of the same name opened inside it; the
// text's size when there is none.
std::size_t closingTagOf(std::string_view text, std::size_t from,
                         std::string_view name) {
  int depth = 1;
  for (std::size_t at = text.find('<', from); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    const bool closing = at + 1 < text.size() && text[at + 1] == '/';
    const std::string_view rest = text.substr(at + (closing ? 2 : 1));
    const std::size_t length = tagNameLength(rest);
    if (length == 0 || !sameName(rest.substr(0, length), name)) continue;
    depth += closing ? -1 : 1;
    if (depth == 0) return at;
  }
  return text.size();
}

bool changedWithin(const FormatTrace& trace, std::size_t from, std::size_t to,
                   bool breaksOnly) {
  const auto first = std::lower_bound(
      trace.changes.begin(), trace.changes.end(), from,
      [](const LayoutChange& c, std::size_t at) { return c.at < at; });
  for (auto it = first; it != trace.changes.end() && it->at < to; ++it) {
    if (!breaksOnly || it->kind == ChangeKind::kBreakRemoved) return true;
  }
  return false;
}

// One element whose content shows, in the input.
struct ShownElement {
  std::size_t tagAt;
  std::size_t contentStart;
  std::size_t contentEnd;  // its closing tag's "<", or the text's end
  std::string_view name;
  Shows shows;
};

// The outermost elements whose content shows, in order.
std::vector<ShownElement> shownElements(std::string_view text) {
  std::vector<ShownElement> found;
  for (std::size_t at = text.find('<'); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    const std::string_view rest = text.substr(at + 1);
    const std::size_t length = tagNameLength(rest);
    if (length == 0) continue;
    const std::size_t tagEnd = text.find('>', at);
    if (tagEnd == std::string_view::npos) break;
    const std::string_view name = rest.substr(0, length);
    const Shows shows = showsOf(text.substr(at, tagEnd - at), name);
    if (shows == Shows::kNothing) continue;
    const std::size_t close = closingTagOf(text, tagEnd + 1, name);
    found.push_back({at, tagEnd + 1, close, name, shows});
    // What lies inside it is its own.
    at = std::max(at, std::min(close, text.size() - 1));
  }
  return found;
}

// The line breaks in `text` as the pass counts them between constructs:
// CR LF, LF and a lone CR, one each.
std::uint64_t lineBreaks(std::string_view text) {
  std::uint64_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' ||
        (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++breaks;
    }
  }
  return breaks;
}

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> watchedContent(
    std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const ShownElement& element : shownElements(text)) {
    ranges.emplace_back(element.contentStart, element.contentEnd);
  }
  return ranges;
}

Notes explainLayout(std::string_view text, const FormatTrace& trace) {
  Notes notes;
  std::uint64_t line = 1;
  std::size_t counted = 0;
  for (const ShownElement& element : shownElements(text)) {
    const bool breaks = element.shows == Shows::kBreaks;
    if (!changedWithin(trace, element.contentStart, element.contentEnd,
                       breaks)) {
      continue;
    }
    line += lineBreaks(text.substr(counted, element.tagAt - counted));
    counted = element.tagAt;
    Note note;
    note.kind = breaks ? NoteKind::kBreaksMatter : NoteKind::kSpacesShow;
    note.line = line;
    note.at = element.tagAt;
    note.endAt = element.contentStart;
    note.name = std::string(element.name);
    note.inOutput = element.shows == Shows::kSpacesInOutput;
    notes.push_back(std::move(note));
  }
  for (const Region& region : trace.regions) {
    if (region.closed) continue;
    Note note;
    note.kind = NoteKind::kRegionUnclosed;
    note.line = region.offLine;
    note.at = region.offAt;
    note.endAt = region.offAt + kRegionOff.size();
    notes.push_back(std::move(note));
  }
  std::stable_sort(
      notes.begin(), notes.end(),
      [](const Note& a, const Note& b) { return a.line < b.line; });
  return notes;
}

}  // namespace tagfmt
