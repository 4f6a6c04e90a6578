// How the browser tests and measurements start Debian's Chromium: headless,
// with none of its background connections, which a closed network refuses
// many at a time. EXTRA (playwright launch options) is merged over these.
export function chromiumOptions(extra = {}) {
  return {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1300, height: 900 },
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
    ...extra,
  };
}
