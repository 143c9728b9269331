#include "frontend/main_window.h"

#include "frontend/text_helpers.h"

namespace quib::frontend {

void MainWindow::caption(std::wstring_view text) {
    if (m_bVisible) platform::get().dialog.setCaption(toNarrow(text));
}

void MainWindow::status(std::wstring_view text) {
    if (m_bVisible) platform::get().dialog.setStatusText(toNarrow(text));
}

void MainWindow::statusColour(std::uint32_t colour) {
    if (m_bVisible) platform::get().dialog.setStatusTextColour(colour);
}

void MainWindow::progressRange(int low, int high, int step) {
    if (m_bVisible) platform::get().dialog.setProgressRange(low, high, step);
}

void MainWindow::progress(int position) {
    if (m_bVisible) platform::get().dialog.setProgressPosition(position);
}

void MainWindow::barColour(std::uint32_t colour) {
    if (m_bVisible) platform::get().dialog.setProgressBarColour(colour);
}

void MainWindow::summary(const std::vector<std::wstring>& lines) {
    if (!m_bVisible) return;
    std::vector<std::string> narrow;
    for (const std::wstring& line : lines) narrow.push_back(toNarrow(line));
    platform::get().dialog.showSummary(narrow);
}

int MainWindow::showUntilClosed() {
    return m_bVisible ? platform::get().dialog.showUntilClosed() : platform::kIdOk;
}

}  // namespace quib::frontend
