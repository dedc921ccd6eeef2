"""Reads Tessel's window through the accessibility bus, as a screen reader would: the answer
grid's headers and cells, the SQL editor's text and caret, the toolbar buttons' names.
Prints what it read; exits 1 when something is missing."""
import sys
import time

import pyatspi


def find(acc, test, depth=0):
    if acc is None or depth > 12:
        return None
    try:
        if test(acc):
            return acc
        for i in range(acc.childCount):
            found = find(acc.getChildAtIndex(i), test, depth + 1)
            if found is not None:
                return found
    except Exception:
        return None
    return None


def app_named(name):
    for _ in range(50):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def main():
    app = app_named("Tessel")
    if app is None:
        print("FAIL: no application named Tessel on the accessibility bus")
        return 1
    failures = []
    grid = None
    for _ in range(50):
        grid = find(app, lambda a: a.getRoleName() == "table" and a.name == "Answer table")
        if grid is not None and grid.queryTable().nRows > 0:
            break
        time.sleep(0.2)
    if grid is None:
        failures.append("no table named 'Answer table'")
    else:
        table = grid.queryTable()
        print(f"grid: {table.nRows} rows in view, {table.nColumns} columns")
        headers = [table.getColumnDescription(c) for c in range(table.nColumns)]
        print("headers: " + " | ".join(headers))
        for r in range(min(3, table.nRows)):
            cells = [table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
            print(f"row {r + 1}: " + " | ".join(cells))
        if table.nRows < 2 or table.nColumns == 0:
            failures.append("the grid shows fewer than two records")
        if "LAST_NAME" not in headers:
            failures.append("no LAST_NAME column: " + repr(headers))
        elif not table.getAccessibleAt(0, headers.index("LAST_NAME")).name.strip():
            failures.append("the first LAST_NAME cell is empty")
    editor = find(app, lambda a: a.name == "SQL text")
    if editor is None:
        failures.append("no editor named 'SQL text'")
    else:
        text = editor.queryText()
        content = text.getText(0, -1)
        print("editor role: " + editor.getRoleName())
        print("editor text: " + content.replace("\n", " / "))
        print(f"editor caret at {text.caretOffset} of {text.characterCount}")
        if "SELECT *" not in content or "employee.db" not in content:
            failures.append("the editor's text is not the statement: " + repr(content))
    run = find(app, lambda a: a.getRoleName() == "push button" and a.name.startswith("Run SQL query"))
    if run is None:
        failures.append("no push button named 'Run SQL query ...'")
    else:
        print("button: " + run.name)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


sys.exit(main())
