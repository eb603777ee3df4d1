// Reading an in-memory dialog template the way the dialog manager does.
#include <cstring>

#include "platform/emul/dialog_control.h"

namespace emu {
namespace {

constexpr size_t kLargestTemplate = 0x10000;
// The first DWORD of a DLGTEMPLATEEX: version 1 and the signature 0xFFFF.
constexpr DWORD kExtendedSignature = 0xFFFF0001;

class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t limit) : data_(data), limit_(limit) {}

    bool Word(WORD* value) { return Bytes(value, sizeof *value); }
    bool Dword(DWORD* value) { return Bytes(value, sizeof *value); }
    bool Short(short* value) { return Bytes(value, sizeof *value); }

    // UTF-16 up to its terminating zero, which must lie within the limit.
    bool Text(std::u16string* text)
    {
        text->clear();
        for (;;) {
            WORD unit;
            if (!Word(&unit))
                return false;
            if (unit == 0)
                return true;
            text->push_back(static_cast<char16_t>(unit));
        }
    }

    // 0x0000: none; 0xFFFF: an ordinal follows; anything else starts a text.
    bool Name(TemplateName* name)
    {
        WORD first;
        if (!Word(&first))
            return false;
        *name = TemplateName{};
        if (first == 0)
            return true;
        name->present = true;
        if (first == 0xFFFF) {
            name->isOrdinal = true;
            return Word(&name->ordinal);
        }
        name->text.push_back(static_cast<char16_t>(first));
        std::u16string rest;
        if (!Text(&rest))
            return false;
        name->text += rest;
        return true;
    }

    bool AlignToDword()
    {
        size_t aligned = (position_ + 3) & ~static_cast<size_t>(3);
        if (aligned > limit_)
            return false;
        position_ = aligned;
        return true;
    }

    bool Bytes(void* out, size_t size)
    {
        if (limit_ - position_ < size)
            return false;
        std::memcpy(out, data_ + position_, size);
        position_ += size;
        return true;
    }

    size_t Position() const { return position_; }
    size_t Remaining() const { return limit_ - position_; }

private:
    const BYTE* data_;
    size_t limit_;
    size_t position_ = 0;
};

bool ReadItem(TemplateReader& in, DialogItemTemplate* item)
{
    if (!in.AlignToDword())
        return false;
    item->offset = in.Position();
    WORD dataSize;
    if (!in.Dword(&item->style) || !in.Dword(&item->exStyle) || !in.Short(&item->x) ||
        !in.Short(&item->y) || !in.Short(&item->cx) || !in.Short(&item->cy) || !in.Word(&item->id) ||
        !in.Name(&item->windowClass) || !in.Name(&item->title) || !in.Word(&dataSize))
        return false;
    item->creationData.resize(dataSize);
    return dataSize == 0 || in.Bytes(item->creationData.data(), dataSize);
}

bool ReadHeader(TemplateReader& in, DialogTemplateView* out)
{
    WORD count;
    if (!in.Dword(&out->style) || !in.Dword(&out->exStyle) || !in.Word(&count) || !in.Short(&out->x) ||
        !in.Short(&out->y) || !in.Short(&out->cx) || !in.Short(&out->cy) || !in.Name(&out->menu) ||
        !in.Name(&out->windowClass) || !in.Text(&out->caption))
        return false;
    if ((out->style & DS_SETFONT) != 0 && (!in.Word(&out->pointSize) || !in.Text(&out->faceName)))
        return false;
    // Each control takes at least its fixed part; a count that cannot fit
    // is refused before anything is made for it.
    if (static_cast<size_t>(count) * sizeof(DLGITEMTEMPLATE) > in.Remaining())
        return false;
    out->items.resize(count);
    return true;
}

} // namespace

bool ParseDialogTemplate(const void* data, size_t limit, DialogTemplateView* out, DWORD* error)
{
    *error = ERROR_INVALID_PARAMETER;
    *out = DialogTemplateView{};
    if (data == nullptr || (reinterpret_cast<uintptr_t>(data) & 3) != 0)
        return false;
    if (limit == 0 || limit > kLargestTemplate)
        limit = kLargestTemplate;
    TemplateReader in(static_cast<const BYTE*>(data), limit);
    DWORD first = 0;
    if (limit < sizeof first)
        return false;
    std::memcpy(&first, data, sizeof first);
    if (first == kExtendedSignature || !ReadHeader(in, out))
        return false;
    for (DialogItemTemplate& item : out->items)
        if (!ReadItem(in, &item))
            return false;
    out->size = in.Position();
    *error = ERROR_SUCCESS;
    return true;
}

} // namespace emu
