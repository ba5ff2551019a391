#include "editor/Dokspeich.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace archiv::editor {

Dokspeich::Dokspeich(bool neueVersionMoeglich, const QString &versionstext, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dokspeich"));
    setWindowTitle(QStringLiteral("Dokument speichern"));
    m_privat = new QCheckBox(QStringLiteral("Privates Dokument"), this);
    m_privat->setObjectName(QStringLiteral("privatjn"));
    m_neueVersion = new QCheckBox(QStringLiteral("Als neue Dokumentversion speichern"), this);
    m_neueVersion->setObjectName(QStringLiteral("newversjn"));
    // A Beleg never saved has no version to add to.
    m_neueVersion->setEnabled(neueVersionMoeglich);
    auto *label = new QLabel(QStringLiteral("Versionstext:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_text = new QLineEdit(versionstext, this);
    m_text->setObjectName(QStringLiteral("verstxt"));
    m_text->setMaxLength(200);
    label->setBuddy(m_text);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BUOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &Dokspeich::ok);

    auto *g = new QGridLayout(this);
    g->addWidget(m_privat, 0, 0, 1, 2);
    g->addWidget(m_neueVersion, 1, 0, 1, 2);
    g->addWidget(label, 2, 0);
    g->addWidget(m_text, 2, 1);
    g->addWidget(ok, 3, 1, Qt::AlignRight);
    setMinimumWidth(420);
}

void Dokspeich::ok()
{
    // A "|" in the text would shift the fields of the options text.
    QString text = m_text->text();
    text.replace(u'|', u'/');
    // Joined, not formatted: a "%1" typed into the text must stay text.
    m_ergebnis = QString::number(m_neueVersion->isChecked() ? 1 : 0) + u'|' + text + u'|' + QString::number(m_privat->isChecked() ? 1 : 0);
    accept();
}

QString Dokspeich::fragen(bool neueVersionMoeglich, const QString &versionstext, QWidget *parent)
{
    Dokspeich d(neueVersionMoeglich, versionstext, parent);
    d.exec();
    return d.ergebnis();
}

} // namespace archiv::editor
