#!/bin/sh
# A stand-in installer of the demo. It installs nothing: it only reports that
# it was started, and by which path.
echo "installer started: $0 (@PACKAGE@)" >> "${QARX_DEMO_LOG:-/dev/null}"
