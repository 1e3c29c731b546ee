#!/bin/sh
# Stands in for xdg-open during the demo: instead of starting a browser it
# fetches the page and notes its title.
title=$(curl -fsS --max-time 5 "$1" 2>/dev/null | sed -n 's:.*<title>\(.*\)</title>.*:\1:p' | head -n 1)
echo "browser opened: $1 (${title:-page not fetched})" >> "${QARX_DEMO_LOG:-/dev/null}"
