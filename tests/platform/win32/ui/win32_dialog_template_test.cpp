// Template 102 itself, read from the resources: what the window cannot show afterwards (the progress bar
// trades its WS_BORDER for an edge of its own when it is created) is checked where it is written.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_dialog_ids.h"
#include "tools/uiprobe/common_controls.h"

namespace {

struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring className;  // a predefined class by its ordinal: "#0x80" button, "#0x82" static
    std::wstring text;
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    WORD pointSize = 0;
    std::wstring typeface;
    std::vector<TemplateItem> items;
};

// Reads the extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items).
class TemplateReader {
  public:
    TemplateReader(const BYTE* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    std::optional<DialogTemplate> read() {
        DialogTemplate dialog;
        if (word() != 1 || word() != 0xFFFF) return std::nullopt;  // DLGTEMPLATEEX only
        dword();                                                   // help id
        dialog.exStyle = dword();
        dialog.style = dword();
        const WORD count = word();
        skip(4);  // x, y
        dialog.cx = static_cast<short>(word());
        dialog.cy = static_cast<short>(word());
        sizeOrOrdinal();  // menu
        sizeOrOrdinal();  // class
        sizeOrOrdinal();  // title
        if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
            dialog.pointSize = word();
            skip(4);  // weight, italic, charset
            dialog.typeface = sizeOrOrdinal();
        }
        for (WORD i = 0; i < count && !m_overrun; ++i) {
            align();
            TemplateItem item;
            dword();  // help id
            item.exStyle = dword();
            item.style = dword();
            item.x = static_cast<short>(word());
            item.y = static_cast<short>(word());
            item.cx = static_cast<short>(word());
            item.cy = static_cast<short>(word());
            item.id = dword();
            item.className = sizeOrOrdinal();
            item.text = sizeOrOrdinal();
            skip(word());  // creation data
            dialog.items.push_back(item);
        }
        if (m_overrun) return std::nullopt;
        return dialog;
    }

  private:
    WORD word() {
        WORD value = 0;
        copy(&value, sizeof value);
        return value;
    }
    DWORD dword() {
        DWORD value = 0;
        copy(&value, sizeof value);
        return value;
    }
    void copy(void* to, std::size_t n) {
        if (m_at + n > m_size) {
            m_overrun = true;
            return;
        }
        std::memcpy(to, m_bytes + m_at, n);
        m_at += n;
    }
    void skip(std::size_t n) {
        m_at += n;
        if (m_at > m_size) m_overrun = true;
    }
    void align() { m_at = (m_at + 3) & ~std::size_t{3}; }
    std::wstring sizeOrOrdinal() {
        const WORD first = word();
        if (first == 0) return {};
        if (first == 0xFFFF) {
            wchar_t ordinal[16];
            std::swprintf(ordinal, 16, L"#0x%x", word());
            return ordinal;
        }
        std::wstring text(1, static_cast<wchar_t>(first));
        for (WORD c = word(); c != 0 && !m_overrun; c = word()) text += static_cast<wchar_t>(c);
        return text;
    }

    const BYTE* m_bytes;
    std::size_t m_size;
    std::size_t m_at = 0;
    bool m_overrun = false;
};

class Win32DialogTemplate : public ::testing::Test {
  protected:
    void SetUp() override {
        HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(QUIB_IDD_MAIN_DIALOG), MAKEINTRESOURCEW(5));
        ASSERT_NE(found, nullptr) << "no dialog 102";
        const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found)));
        const auto parsed = TemplateReader(bytes, ::SizeofResource(nullptr, found)).read();
        ASSERT_TRUE(parsed.has_value()) << "not an extended dialog template";
        m_template = *parsed;
    }
    const TemplateItem* item(DWORD id) const {
        for (const TemplateItem& i : m_template.items)
            if (i.id == id) return &i;
        return nullptr;
    }

    DialogTemplate m_template;
};

TEST_F(Win32DialogTemplate, DialogIsAModalFramePopupOf246By92InMsShellDlg8) {
    EXPECT_EQ(m_template.cx, 246);
    EXPECT_EQ(m_template.cy, 92);
    EXPECT_EQ(m_template.pointSize, 8);
    EXPECT_EQ(m_template.typeface, L"MS Shell Dlg");
    for (DWORD bit :
         {DWORD{DS_MODALFRAME}, DWORD{WS_POPUP}, DWORD{WS_VISIBLE}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}})
        EXPECT_EQ(m_template.style & bit, bit) << std::hex << bit;
    EXPECT_EQ(m_template.exStyle & WS_EX_APPWINDOW, DWORD{WS_EX_APPWINDOW});
    EXPECT_EQ(m_template.items.size(), 4u);
}

struct ItemStyleCase {
    const char* name;
    DWORD id;
    const wchar_t* className;
    DWORD mustHave;
    DWORD mustLack;
};

const ItemStyleCase kItemStyles[] = {
    {"OkIsTheVisibleDefaultButton", QUIB_IDC_OK, L"#0x80", WS_VISIBLE | BS_DEFPUSHBUTTON, 0},
    {"StartIsHidden", QUIB_IDC_START, L"#0x80", 0, WS_VISIBLE},
    {"ProgressBarHasABorder", QUIB_IDC_PROGRESS, L"msctls_progress32", WS_VISIBLE | WS_BORDER, 0},
    {"StatusIsAVisibleStatic", QUIB_IDC_STATUS, L"#0x82", WS_VISIBLE, 0},
};

class Win32DialogTemplateItems : public Win32DialogTemplate,
                                 public ::testing::WithParamInterface<ItemStyleCase> {};

TEST_P(Win32DialogTemplateItems, ItemCarriesItsStyle) {
    const ItemStyleCase& c = GetParam();
    const TemplateItem* found = item(c.id);
    ASSERT_NE(found, nullptr);
    // Class names are compared without regard to case (the resource compiler writes them in capitals).
    EXPECT_EQ(::lstrcmpiW(found->className.c_str(), c.className), 0) << found->className;
    EXPECT_EQ(found->style & c.mustHave, c.mustHave);
    EXPECT_EQ(found->style & c.mustLack, 0u);
}

INSTANTIATE_TEST_SUITE_P(Items, Win32DialogTemplateItems, ::testing::ValuesIn(kItemStyles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
