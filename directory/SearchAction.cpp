#include "SearchAction.h"

#include <exception>

namespace orvane::directory {

using form::Control;
using form::Status;
using form::StatusKind;

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

// Keeps the object a component created, or says why there is none.
template<typename T>
Status keep(form::Result<std::unique_ptr<T>> created, std::unique_ptr<T> &object)
{
    if (!created.ok())
        return created.status;
    object = std::move(created.value);
    return Status::success();
}

// The connection through the directory provider, with the user's name and password, opened.
Status openConnection(form::FormFields &form, DirectoryComponents &components,
                      SearchObjects &objects)
{
    if (Status s = keep(components.createConnection(), objects.connection); !s.ok())
        return s;
    Connection &connection = *objects.connection;

    if (Status s = connection.setProvider(QStringLiteral("ADsDSOObject")); !s.ok())
        return s;
    if (Status s = connection.setProperty(QStringLiteral("User ID"),
                                          Value::text(form.text(Control::txtLdapUser)));
        !s.ok())
        return s;
    if (Status s = connection.setProperty(QStringLiteral("Password"),
                                          Value::text(form.text(Control::txtLdapPassword)));
        !s.ok())
        return s;
    return connection.open(QStringLiteral("Active Directory Provider"), QString(), QString(), -1);
}

// The command on that connection: the query built from the two boxes, its page size, time-out
// and scope.
Status prepareCommand(form::FormFields &form, DirectoryComponents &components,
                      SearchObjects &objects)
{
    if (Status s = keep(components.createCommand(), objects.command); !s.ok())
        return s;
    Command &command = *objects.command;

    if (Status s = command.setActiveConnection(*objects.connection); !s.ok())
        return s;
    const QString path = form.text(Control::txtLdapCon);
    const QString prefix = form.text(Control::txtLdap);
    if (Status s = command.setCommandText(queryText(path, prefix)); !s.ok())
        return s;
    if (Status s = command.setProperty(QStringLiteral("Page Size"), Value::int16(1000)); !s.ok())
        return s;
    if (Status s = command.setProperty(QStringLiteral("Timeout"), Value::int16(10)); !s.ok())
        return s;
    return command.setProperty(QStringLiteral("searchscope"), Value::int32(2));
}

// Each row's mail address, where it has one, into the list, in the order the rows come.
Status listMails(form::FormFields &form, Recordset &rows)
{
    while (!rows.eof()) {
        auto mail = rows.field(QStringLiteral("Mail"));
        if (!mail.ok())
            return mail.status;
        if (!mail.value.isNull())
            form.listAddItem(Control::lstEmail, mail.value.toText());
        if (Status s = rows.moveNext(); !s.ok())
            return s;
    }
    return Status::success();
}

// Connects, queries and lists the addresses the query finds; the first failure ends the search.
Status runSearch(form::FormFields &form, DirectoryComponents &components, SearchObjects &objects)
{
    if (Status s = openConnection(form, components, objects); !s.ok())
        return s;
    if (Status s = prepareCommand(form, components, objects); !s.ok())
        return s;

    if (Status s = keep(objects.command->execute(-1), objects.rows); !s.ok())
        return s;
    return listMails(form, *objects.rows);
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
        status = Status::failure(StatusKind::Internal, 0, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        status = Status::failure(StatusKind::Internal, 0,
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
