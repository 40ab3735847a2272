#!/usr/bin/env bash
# The menu entry and the software-centre metadata pass their validators with
# nothing to say: no error, no warning, no hint.
#
#   metadata.sh <desktop file> <metainfo file>
#
# The metadata's web addresses are not fetched (--no-net): tests run offline.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/xvfb.sh"
require_tools metadata desktop-file-validate appstreamcli

said=$(desktop-file-validate "$1" 2>&1) || true
if [[ -n $said ]]; then
    echo "metadata: FAIL: desktop-file-validate $1:" >&2
    echo "$said" >&2
    exit 1
fi
echo "metadata: ok: desktop-file-validate $1"
appstreamcli validate --no-net --strict "$2"
