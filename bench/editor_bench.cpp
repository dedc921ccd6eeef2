// The SQL editor on a large file: load into the control (buffer and full rescan), paint of one
// screen, and the rescan of a keystroke at the top of the file. Prints figures; run by hand:
//   QT_QPA_PLATFORM=offscreen ./bin/tessel_editor_bench [lines]
#include <QApplication>
#include <QFont>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "editor/widget/CustomCodeEdit.h"
#include "highlight/SQLHighlighter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string MakeSql(int lines) {
    static const char* const kLines[] = {
        "SELECT e.emp_no, e.last_name, e.first_name, d.dept_name",
        "  FROM \"employee.db\" e JOIN \"department.db\" d ON e.dept_no = d.dept_no",
        " WHERE e.salary > 45000.00 AND e.hire_date >= '1/15/1998' -- recent hires",
        "/* totals per department,",
        "   grouped and ordered */",
        "\tGROUP BY d.dept_name ORDER BY 2 DESC;",
    };
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += kLines[i % 6];
        text += "\r\n";
    }
    return text;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const std::string sql = MakeSql(lines);

    tessel::TSQLHighlighter highlighter;
    tessel::TCodeEdit edit;
    QFont font("Liberation Mono");
    font.setPixelSize(13);
    edit.SetEditorFont(font);
    edit.SetScrollBars(tessel::ssVertical);
    edit.SetHighlighter(&highlighter);
    edit.resize(1024, 768);
    edit.show();
    QApplication::processEvents();

    // Load: the buffer reads the stream, then every line is scanned once.
    std::istringstream stream(sql);
    const auto t0 = Clock::now();
    edit.Lines().LoadFromStream(stream);
    const auto t1 = Clock::now();
    std::printf("lines %d\n", edit.Lines().Count());
    std::printf("load into the editor (buffer + rescan): %.1f ms\n", Ms(t0, t1));

    // A baseline in the same run: scanning every line with the highlighter alone.
    const auto b0 = Clock::now();
    highlighter.ResetLineState();
    for (int i = 0; i < edit.Lines().Count(); ++i) {
        const std::string line = edit.Lines().Get(i);
        highlighter.StartLine(std::string_view(line), i);
        highlighter.SkipToLineEnd();
    }
    const auto b1 = Clock::now();
    std::printf("baseline: highlighter over all lines: %.1f ms (load is %.2fx)\n", Ms(b0, b1), Ms(t0, t1) / Ms(b0, b1));

    // Paint of one full screen, at the top and at the end of the file.
    QImage image(edit.viewport()->size(), QImage::Format_RGB32);
    std::vector<double> paints;
    for (int round = 0; round < 30; ++round) {
        edit.SetFirstVisibleLine(round % 2 == 0 ? 1 : lines);
        const auto p0 = Clock::now();
        edit.viewport()->render(&image);
        paints.push_back(Ms(p0, Clock::now()));
    }
    std::printf("paint one screen (%d lines x %d columns): median %.3f ms, worst %.3f ms\n", edit.VisibleLineCount(),
                edit.VisibleColumnCount(), Median(paints), *std::max_element(paints.begin(), paints.end()));

    // A keystroke's rescan at the top of the file when no later state changes.
    std::vector<double> puts;
    std::string first = edit.Lines().Get(0);
    for (int round = 0; round < 200; ++round) {
        first += 'x';
        const long scannedBefore = edit.ScannedLines();
        const auto k0 = Clock::now();
        edit.Lines().Put(0, first);
        puts.push_back(Ms(k0, Clock::now()));
        if (edit.ScannedLines() - scannedBefore != 1)
            std::printf("unexpected rescan of %ld lines\n", edit.ScannedLines() - scannedBefore);
    }
    std::printf("line change at the top (Put + rescan + notifications): median %.4f ms, worst %.4f ms\n", Median(puts),
                *std::max_element(puts.begin(), puts.end()));

    // A typed character at the end of the file, through the key path.
    edit.SetCaretXY({1, lines});
    std::vector<double> keys;
    for (int round = 0; round < 200; ++round) {
        const auto k0 = Clock::now();
        edit.ProcessEditorCommand(tessel::ecChar, U'a', nullptr);
        edit.viewport()->render(&image);
        keys.push_back(Ms(k0, Clock::now()));
    }
    std::printf("keystroke at the end of the file with its repaint: median %.3f ms, worst %.3f ms\n", Median(keys),
                *std::max_element(keys.begin(), keys.end()));

    // 10,000 characters typed into the middle of the file, then all undone.
    edit.SetMaxUndo(20000);
    edit.SetCaretXY({1, lines / 2});
    std::vector<double> typed;
    const std::string midBefore = edit.Lines().Get(lines / 2 - 1);
    for (int round = 0; round < 10000; ++round) {
        const auto k0 = Clock::now();
        edit.ProcessEditorCommand(tessel::ecChar, static_cast<char32_t>(U'a' + round % 26), nullptr);
        typed.push_back(Ms(k0, Clock::now()));
    }
    std::printf("10,000 keystrokes in the middle (edit + undo record, no repaint): median %.4f ms, worst %.3f ms\n",
                Median(typed), *std::max_element(typed.begin(), typed.end()));
    const auto u0 = Clock::now();
    int undos = 0;
    while (edit.CanUndo()) {
        edit.ProcessEditorCommand(tessel::ecUndo, 0, nullptr);
        ++undos;
    }
    std::printf("undo of all of them: %.1f ms in %d undo steps; line restored: %s\n", Ms(u0, Clock::now()), undos,
                edit.Lines().Get(lines / 2 - 1) == midBefore ? "yes" : "NO");
    edit.SetHighlighter(nullptr);
    return 0;
}
