#pragma once

// The one settings object of the grid family: texts shown to the person and a few switches
// every grid of the process shares.

#include <functional>
#include <string>

namespace tessel {

class TField;

enum TGridPaintStyle { gpsDynamicDeviceContext, gpsBitmapCanvas };
enum TCheckBoxInGridStyle { cbStyleAuto, cbStyleCheckmark, cbStyleXmark, cbStyleCheckmarkFlat };

struct TDbUserMessages {
    std::string dbGridDiscardChanges = "Discard changes to this record?";
    std::string PictureValidateError = "Invalid characters. Field : ";
    std::string MemoChangesWarning = "Changes have been made!  Are you sure you wish to cancel?";
};

class TDbIntl {
public:
    TDbUserMessages UserMessages;
    TGridPaintStyle GridPaintStyle = gpsDynamicDeviceContext;
    TCheckBoxInGridStyle CheckBoxInGridStyle = cbStyleAuto;
    int DefaultEpochYear = 1950;
    bool OKCancelBitmapped = true;
    std::string BtnOKCaption = "&OK";
    std::string BtnCancelCaption = "Cancel";
    std::string IniFileName;
    bool Connected = false;
    int DialogFontStyle = 0;  // no style
    // May change the message of a picture-mask failure in the cell editor, or suppress it.
    std::function<void(TField& field, std::string& message, bool& show)> OnValidationErrorUsingMask;
};

// The process's settings object.
TDbIntl& DbIntl();

}  // namespace tessel
