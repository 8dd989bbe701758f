#pragma once
// A core header that breaks the rule three ways: the include check must name each line.
#include <QString>
#include <QFont>
#include <QtWidgets/QMessageBox>
#include "ui/QtPrompt.h"
