#!/usr/bin/python3
# save-with-password.py PROFILE INPUT OUTPUT FILTER PASSWORD: saves INPUT as OUTPUT with
# LibreOffice's filter FILTER ("writer8" for ODT, "MS Word 2007 XML" for DOCX) protected by
# PASSWORD, through a LibreOffice started for it (PROFILE: a folder for its profile) and
# ended afterwards. For the tests of password-protected documents, which soffice's command
# line cannot write. Needs Debian's python3-uno.
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


profile, source, target, filter_name, password = sys.argv[1:6]
pipe = "vtps-password-%d" % time.monotonic_ns()
office = subprocess.Popen(
    ["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile), "--headless",
     "--invisible", "--norestore", "--accept=pipe,name=%s;urp;" % pipe],
    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + 60
    while True:
        try:
            context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            break
        except Exception:
            if time.monotonic() > deadline or office.poll() is not None:
                sys.exit("save-with-password: LibreOffice did not start")
            time.sleep(0.1)
    desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop",
                                                               context)
    document = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0,
                                            (prop("Hidden", True),))
    document.storeToURL(uno.systemPathToFileUrl(target),
                        (prop("FilterName", filter_name), prop("Password", password)))
    document.close(True)
    try:
        desktop.terminate()
    except Exception:
        pass  # the bridge goes with the office
finally:
    try:
        office.wait(timeout=30)
    except subprocess.TimeoutExpired:
        office.kill()
