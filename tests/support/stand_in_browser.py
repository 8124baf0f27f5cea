#!/usr/bin/env python3
"""A stand-in web browser for $BROWSER: follows the address it is given (the authorization
server's redirect included) and, when VORNASK_BROWSER_PAGE names a file, writes the page it
lands on there (the status and the text). Trusts what OpenSSL trusts (SSL_CERT_FILE too)."""
import os
import sys
import urllib.error
import urllib.request


def main():
    url = sys.argv[-1]
    try:
        with urllib.request.urlopen(url, timeout=30) as reply:
            page = "%d\n%s" % (reply.status, reply.read().decode("utf-8", "replace"))
    except urllib.error.HTTPError as error:
        page = "%d\n%s" % (error.code, error.read().decode("utf-8", "replace"))
    except Exception as error:  # the test reads why the browser got nowhere
        page = "error\n%s" % error
    target = os.environ.get("VORNASK_BROWSER_PAGE")
    if target:
        with open(target + ".part", "w") as out:
            out.write(page)
        os.rename(target + ".part", target)


if __name__ == "__main__":
    main()
