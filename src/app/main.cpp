// Entry point of the window program.

#include "app/MainWindow.h"
#include "framework/widgets/Application.h"

int main(int argc, char** argv) {
    tessel::TApplication app(argc, argv);
    tessel::TApplication::InstallMessageBoxPresenter();
    tessel::TForm1 form;
    form.show();
    return app.exec();
}
