#include "ui/ProgramForms.h"

#include <QLabel>
#include <QPushButton>

#include "ui/Quorv_main.h"
#include "ui/StatusFrm.h"

void ConnectProgressForm(TfrmQuorvMain& main, TfrmStatus& status) {
    QObject::connect(&status, &TfrmStatus::CancelClicked, &main, [&main] { main.RequestCancel(); });
    main.Seams.ShowProgress = [&status](const QString& text, bool cancelAllowed) {
        status.Button1->setEnabled(cancelAllowed);
        status.lbStatus->setText(text);
        status.SetProgress(0);
        status.SetKeepFocus(true);
        status.show();
        status.repaint();
    };
    main.Seams.SetProgressText = [&status](const QString& text) { status.lbStatus->setText(text); };
    main.Seams.SetProgress = [&status](int percent) { status.SetProgress(float(percent)); };
    main.Seams.CloseProgress = [&status] {
        status.SetKeepFocus(false);
        status.hide();
    };
}
