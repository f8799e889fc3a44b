#include "documents/FileCompare.h"

#include "documents/CopyMatchedValues.h"
#include "documents/TableFiles.h"
#include "documents/TableIO.h"

namespace vm {

void MarkDifferences(FileComparison& c, const TStringList& keys, const TStringList& values) {
    const std::vector<std::uint32_t> partner = PairByKey(c.file.Keys, keys);
    c.marks.assign(keys.Count(), Difference::Added);
    c.removed = 0;
    for (std::size_t j = 0; j < partner.size(); ++j) {
        const std::uint32_t k = partner[j];
        if (k == NoPartner) {
            ++c.removed;
            continue;
        }
        c.marks[k] = values.Get(k) == c.file.Values.Get(j) ? Difference::None : Difference::Changed;
    }
    c.added = c.changed = 0;
    for (const Difference d : c.marks) {
        if (d == Difference::Added) ++c.added;
        if (d == Difference::Changed) ++c.changed;
    }
}

bool CompareWithFile(TTblObjects& p, const std::u16string& fileName, std::int32_t format,
                     const FormatOptions& options) {
    auto c = std::make_shared<FileComparison>();
    c->fileName = fileName;
    // A text file's encoding is always detected, as for the other tools
    // that read a second file.
    FormatOptions reading = options;
    reading.text.readEncoding = TextEncoding::Autodetect;
    LoadReport report;
    const bool ok = LoadTableFile(fileName, format, reading, c->file.Keys, c->file.Values, report);
    ShowReadResult(p, ok, report, fileName, options.limits);
    if (!ok) return false;
    MarkDifferences(*c, *p.Keys, *p.Values);
    p.Compared = std::move(c);
    p.View->Redraw();
    return true;
}

void RemarkDifferences(TTblObjects& p) {
    if (p.Compared) MarkDifferences(*p.Compared, *p.Keys, *p.Values);
}

Difference DifferenceOf(const TTblObjects& p, std::int32_t row) {
    if (!p.Compared || row < 0 || static_cast<std::size_t>(row) >= p.Compared->marks.size()) return Difference::None;
    return p.Compared->marks[static_cast<std::size_t>(row)];
}

std::int32_t NextDifference(const TTblObjects& p, std::int32_t row, int delta) {
    if (!p.Compared) return -1;
    const auto count = static_cast<std::int32_t>(p.Compared->marks.size());
    for (std::int32_t r = row < 0 && delta < 0 ? count : row + delta; r >= 0 && r < count; r += delta)
        if (p.Compared->marks[static_cast<std::size_t>(r)] != Difference::None) return r;
    return -1;
}

}  // namespace vm
