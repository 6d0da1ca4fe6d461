#pragma once

// libldap handles with their release functions. Only .cpp files of directory/ include this.
#include <ldap.h>
#include <memory>

namespace orvane::directory::detail {

struct LdapUnbind
{
    void operator()(LDAP *ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct LdapMessageFree
{
    void operator()(LDAPMessage *message) const { ldap_msgfree(message); }
};
struct LdapControlFree
{
    void operator()(LDAPControl *control) const { ldap_control_free(control); }
};
struct LdapControlsFree
{
    void operator()(LDAPControl **controls) const { ldap_controls_free(controls); }
};
struct LdapMemFree
{
    void operator()(char *text) const { ldap_memfree(text); }
};
struct LdapValueFree
{
    void operator()(char **values) const { ldap_memvfree(reinterpret_cast<void **>(values)); }
};
struct BerElementFree
{
    void operator()(BerElement *ber) const { ber_free(ber, 0); }
};
struct BerValuesFree
{
    void operator()(struct berval **values) const { ldap_value_free_len(values); }
};
struct LdapDnFree
{
    void operator()(LDAPDN dn) const { ldap_dnfree(dn); }
};
struct BerMemFree
{
    void operator()(void *memory) const { ber_memfree(memory); }
};

using LdapHandle = std::unique_ptr<LDAP, LdapUnbind>;
using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMessageFree>;
using LdapControlPtr = std::unique_ptr<LDAPControl, LdapControlFree>;
using LdapControlsPtr = std::unique_ptr<LDAPControl *, LdapControlsFree>;
using LdapText = std::unique_ptr<char, LdapMemFree>;
using LdapTexts = std::unique_ptr<char *, LdapValueFree>;
using BerElementPtr = std::unique_ptr<BerElement, BerElementFree>;
using LdapDnPtr = std::unique_ptr<LDAPRDN, LdapDnFree>;
using BerValuesPtr = std::unique_ptr<struct berval *, BerValuesFree>;

} // namespace orvane::directory::detail
