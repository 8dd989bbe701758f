#pragma once
// The modeless progress window of long operations: three caller-filled lines, a bar with the
// percentage in its middle, and a Cancel button the caller polls through Update.
#include <QFrame>
#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// The bar: white background, blue fill; the percentage text is white where the fill covers it.
class StatusBarSurface : public QFrame {
public:
    explicit StatusBarSurface(QWidget* parent = nullptr);
    // Draws percent (clamped to 0..100) and its label into the surface's picture.
    void Draw(int percent);
    // The inner area's picture as last drawn (white before the first Draw).
    const QImage& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_picture;
    int m_percent = -1;  // -1: nothing drawn yet
};

class frmStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLines = 3;

    explicit frmStatusBar(QWidget* parent = nullptr);

    // Line index 0..2; other indices are ignored (reading gives empty text).
    void SetText(int index, const QString& text);
    QString Text(int index) const;
    void SetTitle(const QString& text);
    QString Title() const;

    // Redraws the bar, lets pending events run, then reports and clears the cancel flag.
    // A call made from inside another Update of this window (through those events) only redraws
    // and reports false, leaving the flag for the outer call.
    void Update(int percent, bool& cancel);
    bool InUpdate() const { return m_inUpdate; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void cmdCancel_Click();

private:
    void ShowLine(int index);

    QLabel* m_lbl[kLines] = {};
    StatusBarSurface* m_pic = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QString m_text[kLines];
    bool m_cancel = false;
    bool m_inUpdate = false;
};
