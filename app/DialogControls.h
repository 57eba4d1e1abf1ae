#pragma once
// Small helpers shared by the dialogs: control naming by numeric id, and the
// read-back of numeric edits with range checks (what the dialogs validate when
// they close).

#include <QString>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include <Qt>

#include "app/ControlIds.h"

class QWidget;
class QLabel;
class QLineEdit;

// Gives a control the object name "ctl<id>" that tests and screenshots use.
void SetControlId(QWidget* pWidget, int nId);
QString ControlName(int nId);

// A read-only edit sized for nDigits digits of the current font (at any DPI).
void SizeEditForDigits(QLineEdit* pEdit, int nDigits);

// The look of a read-only edit on the desktop: the window's colour behind the
// text instead of the white of an edit that takes typing.
void SetReadOnlyLook(QLineEdit* pEdit);

// Chains the controls' keyboard focus in this order (Tab forwards, Shift+Tab back).
void SetTabOrder(std::initializer_list<QWidget*> controls);

// A label and an edit named after their control ids; the edit is sized for
// nDigits and, when read-only, drawn with the read-only look.
QLabel* MakeLabel(int nId, const char* pszText);
QLineEdit* MakeEdit(int nId, int nDigits, bool bReadOnly,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

// Parses the edit text as an unsigned number and checks nMin..nMax. On
// failure shows a message naming the field and the range through the prompt
// services, and returns nothing.
std::optional<uint32_t> ReadUIntField(const QString& strText, const char* pszField, uint32_t nMin,
                                      uint32_t nMax);

// The message ReadUIntField shows for a value outside nMin..nMax.
std::string RangeMessage(const char* pszField, uint32_t nMin, uint32_t nMax);
