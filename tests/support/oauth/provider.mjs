// The authorization server of the OAuth 2.0 sign-in tests: oidc-provider on 127.0.0.1, all
// state in memory, its development login and consent pages standing in for a real one.
//
//   node provider.mjs --port-file FILE [--port N] [--lifetime SECONDS]
//       [--access-token-seconds N] [--device-code-seconds N]
//       [--client-id ID] [--mail-server-id ID --mail-server-secret SECRET]
//
// Writes its port to FILE (by a rename, so never half written) once it listens, and ends on
// SIGTERM or SIGINT, or by itself after the lifetime, should the test that started it be gone.
import { writeFileSync, renameSync } from 'node:fs';
import { createServer } from 'node:http';
import { parseArgs } from 'node:util';

import Provider, { errors } from 'oidc-provider';

const { values: args } = parseArgs({
    options: {
        'port-file': { type: 'string' },
        port: { type: 'string', default: '0' },
        lifetime: { type: 'string', default: '900' },
        'access-token-seconds': { type: 'string', default: '600' },
        'device-code-seconds': { type: 'string', default: '600' },
        'client-id': { type: 'string', default: 'orvane-desktop' },
        'mail-server-id': { type: 'string', default: 'mail-server' },
        'mail-server-secret': { type: 'string', default: 'mail-server-secret' },
    },
});
if (!args['port-file']) {
    console.error('provider.mjs: --port-file is required');
    process.exit(64); // EX_USAGE
}
const seconds = (name) => {
    const value = Number.parseInt(args[name], 10);
    if (!(value > 0)) {
        console.error(`provider.mjs: --${name} must be a positive number of seconds`);
        process.exit(64);
    }
    return value;
};
const accessTokenSeconds = seconds('access-token-seconds');
const deviceCodeSeconds = seconds('device-code-seconds');
const lifetime = seconds('lifetime');

// The mail server is a resource server of its own (RFC 8707): its scope is not an OpenID
// scope, and its tokens are opaque so that the mail server can only learn about them by
// introspection (RFC 7662), which also sees revocation.
const mailResource = 'urn:orvane:test:smtp';
const mailScope = 'smtp.send';

const server = createServer();
await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(Number.parseInt(args.port, 10) || 0, '127.0.0.1', resolve);
});
const { port } = server.address();
const issuer = `http://127.0.0.1:${port}`;

const configuration = {
    clients: [
        {
            // A desktop program: public, no secret, loopback redirect on any port
            // (RFC 8252 section 7.3), PKCE required.
            client_id: args['client-id'],
            application_type: 'native',
            token_endpoint_auth_method: 'none',
            redirect_uris: ['http://127.0.0.1/'],
            response_types: ['code'],
            grant_types: [
                'authorization_code',
                'refresh_token',
                'urn:ietf:params:oauth:grant-type:device_code',
            ],
        },
        {
            // The mail server, which only asks whether a token is good.
            client_id: args['mail-server-id'],
            client_secret: args['mail-server-secret'],
            token_endpoint_auth_method: 'client_secret_basic',
            grant_types: [],
            response_types: [],
            redirect_uris: [],
        },
    ],
    // The development login form takes any name; that name is the account and its e-mail.
    async findAccount(ctx, id) {
        return {
            accountId: id,
            async claims() {
                return { sub: id, email: id, email_verified: true };
            },
        };
    },
    claims: { openid: ['sub'], email: ['email', 'email_verified'] },
    // offline_access brings a refresh token: in the device flow always, in the code flow only
    // together with prompt=consent (OpenID Connect Core 1.0 section 11); without it the scope is
    // dropped silently.
    scopes: ['openid', 'offline_access', 'email'],
    // Dovecot takes the user name from the introspection answer (username_attribute = email);
    // an opaque token carries no claims of its own.
    async extraTokenClaims(ctx, token) {
        return token.accountId ? { email: token.accountId } : undefined;
    },
    pkce: { required: () => true },
    features: {
        devInteractions: { enabled: true },
        deviceFlow: { enabled: true },
        revocation: { enabled: true },
        introspection: {
            enabled: true,
            async allowedPolicy(ctx, client, token) {
                if (client.clientId === args['mail-server-id'])
                    // A refresh token offered as a bearer token must look like any bad token.
                    return token.kind === 'AccessToken';
                // Otherwise as by default: a public client may look at its own tokens only.
                return client.clientAuthMethod !== 'none' || token.clientId === client.clientId;
            },
        },
        resourceIndicators: {
            enabled: true,
            // A client that names no resource, as mail programs do, still gets a token for the
            // mail server.
            defaultResource: () => mailResource,
            useGrantedResource: () => true,
            getResourceServerInfo(ctx, resourceIndicator) {
                if (resourceIndicator !== mailResource)
                    throw new errors.InvalidTarget();
                return {
                    scope: mailScope,
                    audience: mailResource,
                    accessTokenTTL: accessTokenSeconds,
                    accessTokenFormat: 'opaque',
                };
            },
        },
    },
    ttl: {
        AccessToken: accessTokenSeconds,
        DeviceCode: deviceCodeSeconds,
        RefreshToken: 24 * 3600,
        Grant: 24 * 3600,
        Session: 24 * 3600,
        Interaction: 3600,
    },
    // Signs the provider's own cookies; nothing outlives the process.
    cookies: { keys: ['orvane-test-cookie-key'] },
    responseTypes: ['code'],
};

const provider = new Provider(issuer, configuration);
server.on('request', provider.callback());

writeFileSync(`${args['port-file']}.tmp`, `${port}\n`);
renameSync(`${args['port-file']}.tmp`, args['port-file']);
console.log(`listening on ${issuer}`);

const stop = () => {
    server.close();
    process.exit(0);
};
process.on('SIGTERM', stop);
process.on('SIGINT', stop);
setTimeout(() => {
    console.error(`provider.mjs: lifetime of ${lifetime} s over, stopping`);
    stop();
}, lifetime * 1000);
