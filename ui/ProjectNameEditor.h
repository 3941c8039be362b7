#pragma once

#include <QFrame>
#include <QWidget>

class MacFolderEditor;
class QCheckBox;
class QLabel;
class QLineEdit;

// The project name panel: whether the name follows the video's file name, whether the automatic
// details are appended, the name box with the details in grey right behind the name, and the
// resulting export file name. It keeps no naming state: every edit is reported at once and the
// owner shows the names the model makes of it.
class ProjectNameEditor : public QWidget {
    Q_OBJECT

public:
    explicit ProjectNameEditor(QWidget* parent = nullptr);

    void setBaseName(const QString& name);
    void setUsesVideoFilename(bool uses);
    void setAppendsDetails(bool appends);
    void setSuffix(const QString& suffix);
    void setFilename(const QString& filename);

    QCheckBox* usesVideoFilenameBox() const { return usesVideoFilename_; }
    QCheckBox* appendsDetailsBox() const { return appendsDetails_; }
    QLineEdit* nameField() const { return nameField_; }
    QLabel* suffixLabel() const { return suffix_; }
    QLabel* exportNameLabel() const { return exportName_; }
    MacFolderEditor* macFolderEditor() const { return macFolder_; }
    // The controls in the order Tab visits them.
    QList<QWidget*> focusOrder() const;

signals:
    void baseNameEdited(const QString& name);
    void usesVideoFilenameToggled(bool uses);
    void appendsDetailsToggled(bool appends);

private:
    void refreshFieldState();

    QCheckBox* usesVideoFilename_;
    QCheckBox* appendsDetails_;
    QFrame* nameBox_;
    QLineEdit* nameField_;
    QLabel* suffix_;
    QLabel* exportName_;
    MacFolderEditor* macFolder_;
};
