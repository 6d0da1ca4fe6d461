#include "SearchAction.h"

#include <exception>

namespace orvane::directory {

using form::Control;

namespace {

// The objects of one search, released in the order result set, command, connection on every
// path (members are destroyed in reverse order of declaration).
struct SearchObjects
{
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
    std::unique_ptr<Recordset> rows;
};

QString queryText(const QString &path, const QString &prefix)
{
    // Plain concatenation: what the user typed goes into the query unchanged.
    return QStringLiteral("select name, mail from 'LDAP://") + path
           + QStringLiteral("' where name = '") + prefix + QStringLiteral("*' ORDER BY NAME");
}

Status notCreated(const QString &what)
{
    return Status::failure(StatusKind::Internal,
                           QStringLiteral("The directory %1 could not be created.").arg(what));
}

// Steps 3 to 9 of the search; the first failure ends them.
Status runSearch(form::FormFields &form, DirectoryComponents &components, SearchObjects &objects)
{
    Status status = components.createConnection(objects.connection);
    if (!status.ok())
        return status;
    if (!objects.connection)
        return notCreated(QStringLiteral("connection"));
    Connection &connection = *objects.connection;
    if (!(status = connection.setProvider(QStringLiteral("ADsDSOObject"))).ok())
        return status;
    status = connection.setProperty(QStringLiteral("User ID"),
                                    Value::text(form.text(Control::txtLdapUser)));
    if (!status.ok())
        return status;
    status = connection.setProperty(QStringLiteral("Password"),
                                    Value::text(form.text(Control::txtLdapPassword)));
    if (!status.ok())
        return status;
    status = connection.open(QStringLiteral("Active Directory Provider"), QString(), QString(), -1);
    if (!status.ok())
        return status;

    if (!(status = components.createCommand(objects.command)).ok())
        return status;
    if (!objects.command)
        return notCreated(QStringLiteral("command"));
    Command &command = *objects.command;
    if (!(status = command.setActiveConnection(connection)).ok())
        return status;
    const QString path = form.text(Control::txtLdapCon);
    const QString prefix = form.text(Control::txtLdap);
    if (!(status = command.setCommandText(queryText(path, prefix))).ok())
        return status;
    if (!(status = command.setProperty(QStringLiteral("Page Size"), Value::int16(1000))).ok())
        return status;
    if (!(status = command.setProperty(QStringLiteral("Timeout"), Value::int16(10))).ok())
        return status;
    if (!(status = command.setProperty(QStringLiteral("searchscope"), Value::int32(2))).ok())
        return status;

    if (!(status = command.execute(objects.rows, -1)).ok())
        return status;
    if (!objects.rows)
        return notCreated(QStringLiteral("result set"));
    Recordset &rows = *objects.rows;
    while (!rows.eof()) {
        Value mail;
        if (!(status = rows.field(QStringLiteral("Mail"), mail)).ok())
            return status;
        if (!mail.isNull())
            form.listAddItem(Control::lstEmail, mail.toText());
        if (!(status = rows.moveNext()).ok())
            return status;
    }
    return Status::success();
}

} // namespace

void cmdLdapSearch_Click(form::FormFields &form, DirectoryComponents &components)
{
    form.listClear(Control::lstEmail);

    SearchObjects objects;
    Status status;
    try {
        status = runSearch(form, components, objects);
    } catch (const std::exception &e) {
        status = Status::failure(StatusKind::Internal, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        status = Status::failure(StatusKind::Internal,
                                 QStringLiteral("The directory search failed unexpectedly."));
    }
    if (!status.ok())
        form.messageBox(status.description, QStringLiteral("LDAP error"));
    objects.rows.reset();
    objects.command.reset();
    objects.connection.reset();
}

void lstEmail_Click(form::FormFields &form)
{
    const int index = form.listIndex(Control::lstEmail);
    // Nothing selected: the pick has nothing to copy, so the recipient stays as it is.
    if (index < 0)
        return;
    form.setText(Control::txtTo, form.listItem(Control::lstEmail, index));
}

} // namespace orvane::directory
