#pragma once

// TFimg "イメージ": the picker for the two pictures of the open event's schedule printout, the
// header picture and the footer picture. Only the full file paths are stored, in the event's
// img1 and img2 columns, and every choice or removal is written at once: there is no separate
// save or cancel.

#include <QDialog>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class TDM1;

namespace components {
class TCuteButton;
}
namespace platform {
class Asker;
}

namespace printout {

enum class PictureSlot;

class TFimg : public QDialog {
public:
    TFimg(TDM1& dm, platform::Asker& asker, QWidget* owner = nullptr);
    ~TFimg() override;

    QLabel* Label1; // "ヘッダー イメージ"
    QFrame* Panel1;
    QLabel* Image1; // the header picture, 673 x 119 like the report's picture boxes
    components::TCuteButton* CuteButton2; // "登録"
    components::TCuteButton* CuteButton4; // "削除"
    QLineEdit* EPic1; // the chosen header path (hidden)
    QLabel* Label2; // "フッター イメージ"
    QFrame* Panel2;
    QLabel* Image2;
    components::TCuteButton* CuteButton3; // "登録"
    components::TCuteButton* CuteButton5; // "削除"
    QLineEdit* EPic2;
    components::TCuteButton* CuteButton1; // "×"

    // The open-picture dialog: the file chosen, or empty when cancelled. It offers the picture
    // files the report prints (PNG, JPEG, BMP).
    using PictureChooser = std::function<QString(QWidget* parent)>;
    // Replaces the dialog (tests); an empty chooser restores the standard one. Returns the
    // previous one.
    static PictureChooser setPictureChooser(PictureChooser chooser);

    void FormShow();
    void CuteButton1Click(); // "×"
    void CuteButton2Click(); // choose the header picture
    void CuteButton3Click(); // choose the footer picture
    void CuteButton4Click(); // remove the header picture
    void CuteButton5Click(); // remove the footer picture

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void choose(PictureSlot slot);
    void remove(PictureSlot slot);
    // Shows the picture of the file (none for an empty path); the engine's message when the file
    // cannot be read, empty otherwise.
    QString showPicture(PictureSlot slot, const QString& path);
    QLabel* imageOf(PictureSlot slot) const;

    TDM1& m_dm;
    platform::Asker& m_asker;
    bool m_shown = false;
};

// Opens the picker for the open event, modally over the owner, and frees it when it closes.
void runPicturePicker(QWidget* owner, TDM1& dm, platform::Asker& asker);

} // namespace printout
