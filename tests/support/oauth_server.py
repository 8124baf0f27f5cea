#!/usr/bin/env python3
"""A small OAuth2 authorization server for tests, on loopback, printing its port when ready.

  /authorize   GET: checks the request (code flow, S256 challenge, client, loopback redirect)
               and redirects to redirect_uri with a code and the state.
  /token       POST: authorization_code (checks the PKCE verifier against the challenge) and
               refresh_token grants; issues access tokens it remembers.
  /introspect  POST token=...: {"active": true, "username": USER} for a token it issued and
               still honours, else {"active": false} (Dovecot's oauth2 passdb asks here).

Options: --user NAME, --client-id ID, --client-secret S (then required), --expires-in N,
--refresh-token T (a refresh token it honours from the start), --access-token T (an
access token it honours from the start), --revoked-refresh T (answered
with invalid_grant), --tamper-pkce (remembers a wrong challenge, so every code exchange is
refused), --deny [DESCRIPTION] (redirects with error=access_denied, as when the user declines),
--tls CERT KEY (https), --port N. Hostile token answers: --token-length N (access tokens of N
characters), --padding N (N more bytes in each answer, sent without Content-Length),
--claim-length N (a Content-Length of N, then the answer and no more, the connection held),
--endless-header (header lines without end), --endless-body (a body without end, no length).
"""
import argparse
import base64
import hashlib
import json
import secrets
import ssl
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

options = None
lock = threading.Lock()
codes = {}            # code -> (challenge, redirect_uri)
access_tokens = set()
refresh_tokens = set()


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def issue_access_token():
    token = "at-" + secrets.token_urlsafe(24)
    if options.token_length:
        token = (token + "x" * options.token_length)[:options.token_length]
    with lock:
        access_tokens.add(token)
    return token


class Handler(BaseHTTPRequestHandler):
    def log_message(self, format, *args):
        sys.stderr.write("oauth_server: " + (format % args) + "\n")

    def answer(self, status, body, content_type="application/json", headers=()):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def answer_tokens(self, body):
        if options.padding:
            body["padding"] = "p" * options.padding
        data = json.dumps(body).encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        if options.endless_header or options.endless_body:
            return self.send_endless()
        if options.claim_length:
            self.send_header("Content-Length", str(options.claim_length))
        elif not options.padding:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        self.wfile.flush()
        if options.claim_length:
            threading.Event().wait(60)

    def send_endless(self):
        line = b"X-Padding: " + b"p" * 65000 + b"\r\n"
        if options.endless_body:
            self.end_headers()
            line = b"p" * 65536
        else:
            self.flush_headers()
        try:
            while True:
                self.wfile.write(line)
        except OSError:
            pass

    def refuse(self, error, description, status=400):
        self.answer(status, json.dumps({"error": error, "error_description": description}))

    def form(self):
        if self.headers.get_all("Content-Type") != ["application/x-www-form-urlencoded"]:
            return {}
        length = int(self.headers.get("Content-Length", "0"))
        text = self.rfile.read(length).decode("utf-8")
        return {k: v[0] for k, v in urllib.parse.parse_qs(text, keep_blank_values=True).items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path != "/authorize":
            return self.answer(404, "not here", "text/plain")
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        redirect = query.get("redirect_uri", "")
        problems = [
            query.get("response_type") != "code" and "response_type is not code",
            query.get("client_id") != options.client_id and "unknown client_id",
            query.get("code_challenge_method") != "S256" and "code_challenge_method is not S256",
            not query.get("code_challenge") and "no code_challenge",
            not redirect.startswith("http://127.0.0.1:") and "redirect_uri is not loopback",
            not query.get("state") and "no state",
        ]
        problems = [p for p in problems if p]
        if problems:
            return self.answer(400, "; ".join(problems), "text/plain")
        if options.deny:
            return self.redirect(redirect, {"error": "access_denied",
                                            "error_description": options.deny,
                                            "state": query["state"]})
        code = "c-" + secrets.token_urlsafe(16) + "/+ %"  # as Google's codes, needs escaping
        challenge = query["code_challenge"]
        if options.tamper_pkce:
            challenge = challenge_of("not-the-verifier")
        with lock:
            codes[code] = (challenge, redirect)
        self.redirect(redirect, {"code": code, "state": query["state"]})

    def redirect(self, to, parameters):
        target = to + ("&" if "?" in to else "?") + urllib.parse.urlencode(parameters)
        self.answer(302, "", "text/plain", [("Location", target)])

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        if path == "/introspect":
            with lock:
                active = form.get("token", "") in access_tokens
            body = {"active": True, "username": options.user} if active else {"active": False}
            return self.answer(200, json.dumps(body))
        if path != "/token":
            return self.answer(404, "not here", "text/plain")
        if form.get("client_id") != options.client_id:
            return self.refuse("invalid_client", "unknown client_id", 401)
        if options.client_secret is not None and form.get("client_secret") != options.client_secret:
            return self.refuse("invalid_client", "wrong client_secret", 401)
        grant = form.get("grant_type")
        if grant == "authorization_code":
            return self.exchange_code(form)
        if grant == "refresh_token":
            return self.refresh(form)
        self.refuse("unsupported_grant_type", str(grant))

    def exchange_code(self, form):
        with lock:
            challenge, redirect = codes.pop(form.get("code", ""), (None, None))
        if challenge is None:
            return self.refuse("invalid_grant", "unknown or used code")
        if form.get("redirect_uri") != redirect:
            return self.refuse("invalid_grant", "redirect_uri differs")
        if challenge_of(form.get("code_verifier", "")) != challenge:
            return self.refuse("invalid_grant", "PKCE verifier does not match")
        refresh = "rt-" + secrets.token_urlsafe(16) + "+/="
        with lock:
            refresh_tokens.add(refresh)
        self.answer_tokens({"access_token": issue_access_token(), "token_type": "Bearer",
                            "expires_in": options.expires_in, "refresh_token": refresh})

    def refresh(self, form):
        token = form.get("refresh_token", "")
        with lock:
            known = token in refresh_tokens and token != options.revoked_refresh
        if not known:
            return self.refuse("invalid_grant", "Token has been expired or revoked.")
        self.answer_tokens({"access_token": issue_access_token(), "token_type": "Bearer",
                            "expires_in": options.expires_in})


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="alice")
    parser.add_argument("--client-id", default="vornask-test")
    parser.add_argument("--client-secret")
    parser.add_argument("--expires-in", type=int, default=3600)
    parser.add_argument("--refresh-token", action="append", default=[])
    parser.add_argument("--access-token", action="append", default=[])
    parser.add_argument("--revoked-refresh")
    parser.add_argument("--tamper-pkce", action="store_true")
    parser.add_argument("--deny", nargs="?", const="The user declined")
    parser.add_argument("--token-length", type=int, default=0)
    parser.add_argument("--padding", type=int, default=0)
    parser.add_argument("--claim-length", type=int, default=0)
    parser.add_argument("--endless-header", action="store_true")
    parser.add_argument("--endless-body", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    options = parser.parse_args()
    refresh_tokens.update(options.refresh_token)
    access_tokens.update(options.access_token)
    if options.revoked_refresh:
        refresh_tokens.add(options.revoked_refresh)

    server = ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    server.daemon_threads = True
    if options.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*options.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
