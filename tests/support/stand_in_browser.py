#!/usr/bin/env python3
"""A stand-in web browser for $BROWSER: follows the address it is given (the authorization
server's redirect included) and, when VORNASK_BROWSER_PAGE names a file, writes the page it
lands on there (the status and the text). Trusts what OpenSSL trusts (SSL_CERT_FILE too).
VORNASK_BROWSER_STRAYS (comma-separated: favicon, wrong-state, no-state) first sends such
requests to where the redirect points, and writes "NAME STATUS" lines to PAGE.strays."""
import os
import sys
import urllib.error
import urllib.parse
import urllib.request


class Stop(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None


def status_of(url):
    try:
        with urllib.request.urlopen(url, timeout=30) as reply:
            return reply.status
    except urllib.error.HTTPError as error:
        return error.code
    except Exception as error:
        return "error %s" % error


def stray_url(redirect, name):
    parts = urllib.parse.urlsplit(redirect)
    if name == "favicon":
        return urllib.parse.urlunsplit(parts._replace(path="/favicon.ico", query=""))
    query = [(k, v) for k, v in urllib.parse.parse_qsl(parts.query) if k != "state"]
    if name == "wrong-state":
        query.append(("state", "not-the-state"))
    return urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))


def send_strays(url, names, target):
    try:
        urllib.request.build_opener(Stop).open(url, timeout=30)
        return url
    except urllib.error.HTTPError as error:
        redirect = error.headers.get("Location")
    if not redirect:
        return url
    lines = ["%s %s\n" % (name, status_of(stray_url(redirect, name))) for name in names]
    with open(target + ".strays", "w") as out:
        out.writelines(lines)
    return redirect


def main():
    url = sys.argv[-1]
    target = os.environ.get("VORNASK_BROWSER_PAGE")
    strays = os.environ.get("VORNASK_BROWSER_STRAYS")
    if strays and target:
        url = send_strays(url, strays.split(","), target)
    try:
        with urllib.request.urlopen(url, timeout=30) as reply:
            page = "%d\n%s" % (reply.status, reply.read().decode("utf-8", "replace"))
    except urllib.error.HTTPError as error:
        page = "%d\n%s" % (error.code, error.read().decode("utf-8", "replace"))
    except Exception as error:  # the test reads why the browser got nowhere
        page = "error\n%s" % error
    if target:
        with open(target + ".part", "w") as out:
            out.write(page)
        os.rename(target + ".part", target)


if __name__ == "__main__":
    main()
