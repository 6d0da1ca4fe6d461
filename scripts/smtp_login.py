"""The SMTP login check of the demo's mail catcher, which the tests' aiosmtpd server uses too."""
from aiosmtpd.smtp import AuthResult, LoginPassword


def make_authenticator(user, password):
    """An aiosmtpd authenticator that takes one user and password (AUTH PLAIN or LOGIN)."""
    def authenticate(server, session, envelope, mechanism, auth_data):
        if isinstance(auth_data, LoginPassword) and auth_data.login == user.encode() \
                and auth_data.password == password.encode():
            return AuthResult(success=True, auth_data=auth_data)
        # handled=False makes aiosmtpd send the 535 itself (handled=True sends nothing).
        return AuthResult(success=False, handled=False)
    return authenticate
