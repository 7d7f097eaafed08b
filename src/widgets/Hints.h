#pragma once
class QWidget;

// Tool tips ("hints") can be switched off per window from the main menu.
void SetShowHint(QWidget *window, bool show);
bool ShowHint(const QWidget *window);
