#include "settings/IniDocument.h"

#include <algorithm>
#include <utility>

#include "settings/IniSyntax.h"

namespace vexil::settings {

namespace {

std::string folded(std::string_view name) {
  std::string result(name);
  std::transform(result.begin(), result.end(), result.begin(), asciiLower);
  return result;
}

}  // namespace

IniDocument::IniDocument(std::string bytes) : original_(std::move(bytes)) { index(); }

void IniDocument::index() {
  const std::string_view all = original_;
  if (all.starts_with(kByteOrderMark)) textStart_ = kByteOrderMark.size();
  const auto firstBreak = all.find('\n', textStart_);
  // A file of classic Mac line ends has CRs and no LF at all: there a CR ends a line
  // (and new lines end so too). Anywhere else a line ends at LF, and a CR before it is
  // taken off; a CR elsewhere belongs to its line.
  const bool crLines = firstBreak == std::string_view::npos &&
                       all.find('\r', textStart_) != std::string_view::npos;
  const char lineEnd = crLines ? '\r' : '\n';
  eol_ = crLines ? "\r"
         : (firstBreak == std::string_view::npos ||
            (firstBreak > textStart_ && all[firstBreak - 1] == '\r'))
             ? "\r\n"
             : "\n";

  Section* current = nullptr;  // null before the first header and in later duplicates
  std::size_t lineStart = textStart_;
  while (lineStart < all.size()) {
    const auto lineBreak = all.find(lineEnd, lineStart);
    const std::size_t next = lineBreak == std::string_view::npos ? all.size() : lineBreak + 1;
    std::size_t textEnd = lineBreak == std::string_view::npos ? all.size() : lineBreak;
    if (!crLines && textEnd > lineStart && all[textEnd - 1] == '\r') --textEnd;
    const std::string_view line = all.substr(lineStart, textEnd - lineStart);

    const LineView view = classify(line);
    if (view.kind == LineView::Kind::Section) {
      const auto [it, isNew] = sections_.try_emplace(folded(view.name));
      current = isNew ? &it->second : nullptr;
      if (current) current->insertAt = next;
    } else if (view.kind == LineView::Kind::KeyValue && current) {
      const auto [it, isNew] = current->keys.try_emplace(folded(view.name));
      if (isNew) {
        it->second.valueStart = lineStart + view.valueStart;
        it->second.valueLength = line.size() - view.valueStart;
      }
      current->insertAt = next;
    }
    lineStart = next;
  }
}

std::optional<std::string_view> IniDocument::value(std::string_view section,
                                                   std::string_view key) const {
  const auto s = sections_.find(folded(section));
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.keys.find(folded(key));
  if (k == s->second.keys.end()) return std::nullopt;
  const Key& found = k->second;
  if (found.newValue) return std::string_view(*found.newValue);
  return std::string_view(original_).substr(found.valueStart, found.valueLength);
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view text) {
  auto [s, newSection] = sections_.try_emplace(folded(section));
  if (newSection) {
    s->second.name = section;
    s->second.added = true;
    addedSections_.push_back(s->first);
  }
  auto [k, newKey] = s->second.keys.try_emplace(folded(key));
  if (newKey) {
    k->second.name = key;
    k->second.added = true;
    s->second.addedKeys.push_back(k->first);
  }
  k->second.newValue = std::string(text);
}

std::string IniDocument::bytes() const {
  // Changed values and keys added to sections already in the file are edits at byte
  // offsets of the original; everything between them is copied as it was.
  std::vector<Edit> edits;
  for (const auto& [sectionName, section] : sections_) {
    if (section.added) continue;
    for (const auto& [keyName, key] : section.keys) {
      if (key.newValue && !key.added)
        edits.push_back({key.valueStart, key.valueLength, *key.newValue, false});
    }
    if (!section.addedKeys.empty()) {
      Edit insertion{section.insertAt, 0, {}, true};
      appendAddedKeys(section, insertion.text);
      edits.push_back(std::move(insertion));
    }
  }
  // An empty value on a last line without a break starts where new lines go; the
  // value comes first.
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.at != b.at ? a.at < b.at : b.addsLines && !a.addsLines;
  });

  std::string out;
  out.reserve(original_.size());
  std::size_t copied = 0;
  for (const Edit& edit : edits) {
    out.append(original_, copied, edit.at - copied);
    // Only an insertion at the very end can follow a line without its break.
    if (edit.addsLines) endLastLine(out);
    out += edit.text;
    copied = edit.at + edit.length;
  }
  out.append(original_, copied);

  for (const std::string& name : addedSections_) {
    const Section& section = sections_.at(name);
    endLastLine(out);
    out += kSectionOpen;
    out += section.name;
    out += kSectionClose;
    out += eol_;
    appendAddedKeys(section, out);
  }
  return out;
}

void IniDocument::appendAddedKeys(const Section& section, std::string& out) const {
  for (const std::string& name : section.addedKeys) {
    const Key& key = section.keys.at(name);
    out += key.name;
    out += kKeyValueSeparator;
    out += *key.newValue;
    out += eol_;
  }
}

void IniDocument::endLastLine(std::string& out) const {
  if (out.size() <= textStart_ || out.back() == '\n') return;
  if (eol_ == "\r" && out.back() == '\r') return;  // a file of CR line ends
  // A last line ending in a lone CR needs only the LF: a second CR would become part
  // of its value.
  out += out.back() == '\r' ? std::string_view("\n") : eol_;
}

}  // namespace vexil::settings
