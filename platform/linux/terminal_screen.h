// The terminal the program's window and its message boxes share.
//
// The window's status line is the live line: redrawn in place at the bottom, and never wider than the
// terminal (a wrapped line is only half erased by the next redraw, which leaves a copy behind each time).
// Whole lines (message boxes, notes, the closing summary) are printed above it, and the live line is drawn
// again below them. Every end of the process leaves the cursor on a fresh line: the window's destructor
// on an ordinary exit (std::exit runs it too), endOpenLineAfterSignal() on an interrupt.
//
// On a stream that is not a terminal there is no live line and everything is plain lines.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace quib::platform {

class TerminalScreen {
  public:
    // `out` is a terminal when isatty() says so; its width is asked for at every redraw.
    explicit TerminalScreen(std::FILE* out);
    // For tests: `out` taken for a terminal (or not) of the width `columns` returns.
    TerminalScreen(std::FILE* out, bool terminal, std::function<int()> columns);
    ~TerminalScreen();
    TerminalScreen(const TerminalScreen&) = delete;
    TerminalScreen& operator=(const TerminalScreen&) = delete;

    bool isTerminal() const { return m_terminal; }
    // Width in characters; 80 when the terminal does not tell.
    int columns() const;

    // Draws the live line (terminals only; `line` must fit in columns() - 1). While a question waits for
    // its answer the line is only remembered.
    void drawLive(const std::string& line);
    // Replaces the live line by `line`, which stays on screen as a line of its own (it may wrap: it is
    // never redrawn). Nothing when there is no live line.
    void keepLive(const std::string& line);
    // Whole lines, each ending in a newline, above the live line.
    void printLines(const std::string& text);
    // The same on another stream that may share the terminal (standard error).
    void printLinesTo(std::FILE* stream, const std::string& text);
    // A question: whole lines, then `prompt` with the cursor after it. The live line stays away until
    // endQuestion(); `answeredWithEnter` says whether the terminal echoed a newline.
    void beginQuestion(const std::string& text, const std::string& prompt);
    void endQuestion(bool answeredWithEnter);
    // Leaves the cursor on a fresh line.
    void endLine();

  private:
    void write(std::FILE* stream, const std::string& text);
    void clearLiveLocked();
    void redrawLiveLocked();
    void setLineOpenLocked(bool open);

    std::FILE* m_out;
    bool m_terminal;
    std::function<int()> m_columns;
    std::mutex m_lock;
    std::string m_live;        // the live line as last drawn; empty: none
    bool m_liveShown = false;  // the cursor stands at the end of the live line
    bool m_lineOpen = false;   // the cursor is not at the start of a line
    bool m_asking = false;
};

// The process's standard output; it lives as long as the process.
TerminalScreen& standardScreen();

// Ends the line a screen left open (with the colours reset), by a raw write: safe in a signal handler.
void endOpenLineAfterSignal();

}  // namespace quib::platform
