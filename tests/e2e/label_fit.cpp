#include "label_fit.h"

#include <windows.h>

#include <string>
#include <vector>

#include "nod_fixture.h"
#include "program.h"
#include "support.h"

namespace e2e {
namespace {

// The templates' font. Font handles belong to their process, so this process makes the
// same font the dialog manager makes from "FONT 8, ..." and measures with it.
constexpr const char* kTemplateFace = "MS Sans Serif";
constexpr int kTemplatePoints = 8;

class TemplateFont {
public:
    TemplateFont() : dc_(GetDC(nullptr)) {
        LOGFONTA lf{};
        lf.lfHeight = -MulDiv(kTemplatePoints, GetDeviceCaps(dc_, LOGPIXELSY), 72);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynA(lf.lfFaceName, kTemplateFace, LF_FACESIZE);
        font_ = CreateFontIndirectA(&lf);
        old_ = SelectObject(dc_, font_);
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc_, LF_FACESIZE, face);
        face_ = face;
    }
    ~TemplateFont() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        ReleaseDC(nullptr, dc_);
    }
    TemplateFont(const TemplateFont&) = delete;
    TemplateFont& operator=(const TemplateFont&) = delete;

    const std::string& Face() const { return face_; }
    int Width(const std::string& text) const {
        SIZE size{};
        GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
        return size.cx;
    }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
    std::string face_;
};

// The dialog's text statics with the template's "no id" (IDC_STATIC): its fixed labels.
std::vector<HWND> Labels(HWND dialog) {
    std::vector<HWND> labels;
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        const LONG type = StyleOf(w) & SS_TYPEMASK;
        const bool text = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP ||
                          type == SS_SIMPLE;
        if (ClassOf(w) == "Static" && text && (GetDlgCtrlID(w) & 0xFFFF) == 0xFFFF) labels.push_back(w);
    }
    return labels;
}

// Checks the dialog's labels, expected labelCount of them, and adds their widths to seen.
void CheckLabels(HWND dialog, std::size_t labelCount, const TemplateFont& font, std::string& seen) {
    const std::vector<HWND> labels = Labels(dialog);
    Expect(labels.size() == labelCount, "dialog \"" + TextOf(dialog) + "\" has " + std::to_string(labels.size()) +
                                            " text labels, not " + std::to_string(labelCount));
    std::string clipped;
    for (HWND label : labels) {
        RECT client{};
        GetClientRect(label, &client);
        const std::string text = TextOf(label);
        const int width = font.Width(text);
        const std::string widths = Quote(text) + " " + std::to_string(width) + " of " + std::to_string(client.right);
        seen += (seen.empty() ? "" : ", ") + widths;
        if (width > client.right) clipped += (clipped.empty() ? "" : ", ") + widths;
    }
    Expect(clipped.empty(), "labels wider than their controls in \"" + font.Face() + "\" (text of control width, " +
                                "pixels): " + clipped);
}

}  // namespace

std::string StaticLabelsFit(const std::string& programPath, const std::string& workDir) {
    const std::vector<std::string> names = {"Label_Width"};
    const std::string path = workDir + "\\files\\label-widths.nod";
    WriteFileBytes(path, NodTable(names));
    const TemplateFont font;
    std::string seen = "font \"" + font.Face() + "\": ";
    std::string widths;

    Program p(programPath, workDir);
    CheckLabels(p.Main(), 2, font, widths);
    p.OpenExpecting(path, names, "label-widths.nod");
    HWND rename = p.OpenRename(0);
    CheckLabels(rename, 2, font, widths);
    PostClick(Child(rename, IDCANCEL));
    WaitGone(rename, "the rename dialog", kWindowMs);
    Expect(WaitUntil([&] { return IsWindowEnabled(p.Main()) != FALSE; }, kSettleMs),
           "the main dialog stays disabled after the rename dialog closed");
    p.Exit();
    return seen + widths;
}

}  // namespace e2e
