#pragma once
// Visual Basic, VBA, VB6 and VBScript: keywords, strings, ' and REM comments, numbers.
#include <Qsci/qscilexercustom.h>

class VbLexer : public QsciLexerCustom {
    Q_OBJECT

public:
    enum Style { Default = 0, Comment = 1, String = 2, Keyword = 3, Number = 4 };

    explicit VbLexer(QObject* parent = nullptr);

    const char* language() const override { return "Visual Basic"; }
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QFont defaultFont(int style) const override;
    void styleText(int start, int end) override;
};
