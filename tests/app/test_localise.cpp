#include "app/LocaliseForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

using tolbe::app::kHeaderTagRole;
using tolbe::app::LocalisedText;
using tolbe::app::LocaliseForm;
using tolbe::app::SetCaptionFromTag;

namespace {

constexpr int kChinese = 0, kEnglish = 1000, kGerman = 4000;

template <typename W> W* Add(QWidget* parent, const char* name) {
    auto* w = new W(parent);
    w->setObjectName(name);
    parent->layout()->addWidget(w);
    return w;
}

QLabel* Label(QWidget* parent, const char* name, const QString& caption, const QVariant& tag) {
    auto* label = Add<QLabel>(parent, name);
    label->setText(caption);
    if (tag.isValid()) label->setProperty("Tag", tag);
    return label;
}

} // namespace

class TestLocalise : public QObject {
    Q_OBJECT

private slots:
    void textNumbersAreReadAsSixteenBitNumbers() {
        QCOMPARE(LocalisedText("126", kEnglish), std::optional<QString>("Device:"));
        QCOMPARE(LocalisedText(" 126 ", kGerman), std::optional<QString>("Gerät:"));
        QCOMPARE(LocalisedText("126", kChinese), std::optional<QString>(QString::fromUtf8("设备：")));
        for (const char* bad : {"", "abc", "12a", "65662", "-65410", "4999", "3", "1126"})
            QVERIFY2(!LocalisedText(bad, kEnglish), bad);
        QVERIFY(!LocalisedText("126", 7000));
    }

    void labelsTakeTheirCaptionFromTheTag() {
        QWidget window;
        new QVBoxLayout(&window);
        auto* numbered = Label(&window, "LabDevSel", "Device Select:", "126");
        numbered->setToolTip("127");
        auto* empty_tag = Label(&window, "LabEmpty", "Brand Filter:", "");
        empty_tag->setToolTip("129");
        auto* word_tag = Label(&window, "LabWord", "Model Filter:", "Model");
        auto* too_big = Label(&window, "LabBig", "Press and hold 3 seconds.", "70000");
        auto* absent_text = Label(&window, "LabAbsent", "Process", "4999");
        auto* no_tag = Label(&window, "LabNone", "126", QVariant());
        no_tag->setToolTip("not a number");

        LocaliseForm(&window, kGerman);

        QCOMPARE(numbered->text(), QString("Gerät:"));
        QCOMPARE(numbered->toolTip(), QString("Gerätetyp auswählen"));
        QCOMPARE(empty_tag->text(), QString("Brand Filter:"));                           // design caption stays...
        QCOMPARE(empty_tag->toolTip(), QString("Gerätemodell nach Suchbegriff suchen")); // ...tool tip still changes
        QCOMPARE(word_tag->text(), QString("Model Filter:"));
        QCOMPARE(too_big->text(), QString("Press and hold 3 seconds."));
        QCOMPARE(absent_text->text(), QString("Process"));
        QCOMPARE(no_tag->text(), QString("126")); // a label's caption is no number source
        QCOMPARE(no_tag->toolTip(), QString("not a number"));
    }

    void comboListsTranslateNumberedItemsOnly() {
        QWidget window;
        new QVBoxLayout(&window);
        auto* combo = Add<QComboBox>(&window, "CboKind");
        combo->addItems({"155", "Brand X", "157", "", "42", "156"});
        combo->setToolTip("127");
        auto* image_combo = Add<QComboBox>(&window, "ImgCombDevSel");
        image_combo->setProperty("ImageCombo", true);
        image_combo->addItems({"155", "156"});
        image_combo->setToolTip("127");
        auto* combo_plain_tip = Add<QComboBox>(&window, "CboTip");
        combo_plain_tip->setToolTip("Pick one");

        LocaliseForm(&window, kEnglish);

        const QStringList expected{"Device", "Brand X", "Model", "", "42", "Brand"};
        for (int i = 0; i < combo->count(); ++i)
            QCOMPARE(combo->itemText(i), expected[i]);
        QCOMPARE(combo->toolTip(), QString("Select type of device"));
        QCOMPARE(image_combo->toolTip(), QString("Select type of device"));
        QCOMPARE(image_combo->itemText(0), QString("155")); // a picture list keeps its items
        QCOMPARE(image_combo->itemText(1), QString("156"));
        QCOMPARE(combo_plain_tip->toolTip(), QString("Pick one"));
    }

    void menusAndToolBarsRelabelTheirActions() {
        QMainWindow window;
        QMenu* file = window.menuBar()->addMenu("0");
        QAction* select = file->addAction("1");
        select->setVisible(false); // hidden items are relabelled like the others
        file->addSeparator();
        QAction* exit = file->addAction("2");
        QMenu* language = window.menuBar()->addMenu("20");
        QList<QAction*> languages;
        for (int k = 21; k <= 27; ++k)
            languages << language->addAction(QString::number(k));
        QMenu* sub = language->addMenu("70");
        QAction* inner = sub->addAction("71");
        QAction* on_bar = window.menuBar()->addAction("73");
        QAction* unnumbered = file->addAction("Open...");

        QToolBar* tools = window.addToolBar("tools");
        QAction* download = tools->addAction("135");
        download->setToolTip("145");
        QAction* plain_tip = tools->addAction("101"); // its tool tip is only the text's echo
        tools->addAction(exit);                       // shared with the File menu

        LocaliseForm(&window, kGerman);

        QCOMPARE(file->title(), QString("Datei(&D)"));
        QCOMPARE(select->text(), QString("Gerät auswählen")); // hidden: no letter to shadow a visible one
        QCOMPARE(exit->text(), QString("Beenden(&B)"));
        QCOMPARE(language->title(), QString("Sprache(&S)"));
        QCOMPARE(languages[0]->text(), QString("Vereinfachtes Chinesisch(CN)"));
        QCOMPARE(languages[4]->text(), QString("Deutsch(DE)"));
        QCOMPARE(languages[6]->text(), QString("Niederländisch(NL)"));
        QCOMPARE(sub->title(), QString("Hilfe(&H)"));
        QCOMPARE(inner->text(), QString("Hilfe"));
        QCOMPARE(on_bar->text(), QString("Aktualisieren..."));
        QCOMPARE(unnumbered->text(), QString("Open..."));
        QCOMPARE(download->text(), QString("Übertragen"));
        QCOMPARE(download->toolTip(), QString("Zum Übertragen klicken"));
        QCOMPARE(plain_tip->text(), QString("Daten übertragen"));
        QCOMPARE(plain_tip->toolTip(), QString("Daten übertragen")); // still Qt's echo of the text
        QCOMPARE(exit->toolTip(), QString("Beenden(B)"));            // relabelled once, by its menu
    }

    void buttonsFramesAndTextBoxes() {
        QWidget window;
        new QVBoxLayout(&window);
        auto* ok = Add<QPushButton>(&window, "CmdOK");
        ok->setText("OK");
        ok->setProperty("Tag", "195");
        auto* cancel = Add<QPushButton>(&window, "CmdCancel");
        cancel->setText("138"); // a button's caption is no number source
        auto* group = Add<QGroupBox>(&window, "FraUpdate");
        group->setTitle("Update");
        group->setProperty("Tag", "186");
        auto* frame = Add<QFrame>(&window, "FraPlain");
        frame->setProperty("Tag", "187");
        auto* check = Add<QCheckBox>(&window, "ChkAdd");
        check->setText("133");
        check->setToolTip("134");
        auto* radio = Add<QRadioButton>(&window, "OptYes");
        radio->setText("Yes");
        radio->setProperty("Tag", "139");
        auto* line = Add<QLineEdit>(&window, "TxtBrandKey");
        line->setToolTip("129");
        line->setText("131"); // typed text is never touched
        auto* plain = Add<QPlainTextEdit>(&window, "TxtPrompt");
        plain->setToolTip("129");
        // A button inside a frame is reached too.
        auto* inner_layout = new QVBoxLayout(group);
        auto* inner = new QPushButton("Update", group);
        inner->setProperty("Tag", "189");
        inner_layout->addWidget(inner);

        LocaliseForm(&window, kGerman);

        QCOMPARE(ok->text(), QString("OK"));
        QCOMPARE(cancel->text(), QString("138"));
        QCOMPARE(group->title(), QString("Online-Aktualisierung"));
        QCOMPARE(frame->windowTitle(), QString("Informationen"));
        QCOMPARE(check->text(), QString("Hinzufügen"));
        QCOMPARE(check->toolTip(), QString("Leeren"));
        QCOMPARE(radio->text(), QString("Ja"));
        QCOMPARE(line->toolTip(), QString("Gerätemodell nach Suchbegriff suchen"));
        QCOMPARE(line->text(), QString("131"));
        QCOMPARE(plain->toolTip(), QString("Gerätemodell nach Suchbegriff suchen"));
        QCOMPARE(inner->text(), QString("Aktualisieren"));
        QCOMPARE(window.windowTitle(), QString()); // the window's own caption is not LocaliseForm's
    }

    void tabsAndHeaders() {
        QWidget window;
        new QVBoxLayout(&window);
        auto* tabs = Add<QTabWidget>(&window, "TabMain");
        auto* tagged_page = new QWidget;
        tagged_page->setProperty("Tag", "155");
        tabs->addTab(tagged_page, "Device");
        tabs->setTabToolTip(0, "127");
        tabs->addTab(new QWidget, "156");
        tabs->addTab(new QWidget, "Misc");
        tabs->setToolTip("143");

        auto* tree = Add<QTreeWidget>(&window, "LvwKeys");
        tree->setHeaderLabels({"S/N", "150", "Keys"});
        tree->headerItem()->setData(0, kHeaderTagRole, "148");
        tree->headerItem()->setData(2, kHeaderTagRole, "no number");
        auto* table = Add<QTableWidget>(&window, "GrdKeys");
        table->setColumnCount(3);
        table->setHorizontalHeaderLabels({"151", "Keyname", "x"});
        table->horizontalHeaderItem(1)->setData(kHeaderTagRole, "149");

        LocaliseForm(&window, kEnglish);

        QCOMPARE(tabs->tabText(0), QString("Device"));
        QCOMPARE(tabs->tabToolTip(0), QString("Select type of device"));
        QCOMPARE(tabs->tabText(1), QString("Brand"));
        QCOMPARE(tabs->tabText(2), QString("Misc"));
        QCOMPARE(tabs->toolTip(), QString("Click on the code"));
        QCOMPARE(tree->headerItem()->text(0), QString("S/N"));
        QCOMPARE(tree->headerItem()->text(1), QString("Function Name"));
        QCOMPARE(tree->headerItem()->text(2), QString("Keys"));
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QString("Protocol Name"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QString("Keyname"));
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QString("x"));

        LocaliseForm(&window, kGerman); // the English texts are no numbers: nothing changes
        QCOMPARE(tabs->tabText(1), QString("Brand"));
        QCOMPARE(tree->headerItem()->text(0), QString("Nr.")); // the Tag data still is
    }

    void otherWindowsAreLeftToThemselves() {
        QWidget window;
        new QVBoxLayout(&window);
        auto* own = Label(&window, "LabOwn", "x", "130");
        auto* dialog = new QDialog(&window);
        new QVBoxLayout(dialog);
        auto* foreign = Label(dialog, "LabForeign", "y", "130");

        LocaliseForm(&window, kEnglish);

        QCOMPARE(own->text(), QString("Device:"));
        QCOMPARE(foreign->text(), QString("y"));
    }

    void captionFromDesignCaptionOrTag() {
        QDialog about;
        about.setWindowTitle("120");
        SetCaptionFromTag(&about, kGerman);
        QCOMPARE(about.windowTitle(), QString("Informationen"));

        QDialog update;
        update.setWindowTitle("Live Update");
        update.setProperty("Tag", "186");
        SetCaptionFromTag(&update, kChinese);
        QCOMPARE(update.windowTitle(), QString::fromUtf8("在线更新"));

        QDialog bad_tag;
        bad_tag.setWindowTitle("124");
        bad_tag.setProperty("Tag", "");
        SetCaptionFromTag(&bad_tag, kEnglish);
        QCOMPARE(bad_tag.windowTitle(), QString("124")); // the Tag decides, and it fails

        QDialog named;
        named.setWindowTitle("Tolbe");
        SetCaptionFromTag(&named, kEnglish);
        QCOMPARE(named.windowTitle(), QString("Tolbe"));
    }
};

QTEST_MAIN(TestLocalise)
#include "test_localise.moc"
