#pragma once

// The paragraph and tab dialogs of the rich text editor. Lengths show in the holder's units
// (inches or centimetres, two decimals) and come back as twips.

#include <QDialog>
#include <optional>
#include <vector>

#include "richedit/DbRichEdit.h"
#include "richtext/RtfDocument.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace tessel {

// A length in the holder's units as the dialogs show it, and a typed one back in twips
// (nothing when it is no number).
QString FormatLength(int twips, TDbMeasurementUnits units);
std::optional<int> ParseLength(const QString& text, TDbMeasurementUnits units);

class TDbRichParagraphDialog : public QDialog {
public:
    enum TLineRule { lsSingle, lsOneAndHalf, lsDouble, lsAtLeast, lsExactly, lsMultiple };

    TDbRichParagraphDialog(TDbMeasurementUnits units, bool justify, QWidget* parent = nullptr);

    // The paragraph's alignment, indents and spacing (its runs and tab stops are not shown).
    void SetParagraph(const TRichParagraph& paragraph);
    // What the dialog holds; valid after it was accepted.
    TRichParagraph Paragraph() const { return result_; }

    QLineEdit* Field(const char* name) const;  // "LeftIndent", "RightIndent", "FirstIndent",
                                               // "SpaceBefore", "SpaceAfter", "LineValue"
    QComboBox* Alignment() const { return align_; }
    QComboBox* LineRule() const { return rule_; }

    // Checks every number; the first that is none gets the focus and the dialog stays.
    void accept() override;

private:
    void RuleChosen(int rule);

    TDbMeasurementUnits units_;
    QComboBox* align_ = nullptr;
    QComboBox* rule_ = nullptr;
    QLineEdit* value_ = nullptr;
    bool choosing_ = false;
    TRichParagraph result_;
};

class TDbRichTabDialog : public QDialog {
public:
    TDbRichTabDialog(TDbMeasurementUnits units, QWidget* parent = nullptr);

    void SetTabs(const std::vector<int>& twips);
    std::vector<int> Tabs() const { return tabs_; }

    QLineEdit* Position() const { return position_; }
    QListWidget* List() const { return list_; }
    // "&Set": adds the typed position (false when it is no number); "Cl&ear" removes the
    // selected stop; "Clear A&ll" every stop.
    bool SetClick();
    void ClearClick();
    void ClearAllClick();

private:
    void Show();

    TDbMeasurementUnits units_;
    QLineEdit* position_ = nullptr;
    QListWidget* list_ = nullptr;
    std::vector<int> tabs_;
};

}  // namespace tessel
