'use strict';
// The start page in headless Chromium, as the centre shows it: 552 x 404,
// Windows-1251 bytes, the program listening to the hidden frame "ifr".
//
//   node start_page.test.js --page-dir DIR [--chm FILE] --screenshot FILE
//
// DIR holds the page as the help file holds it (build_help.py's stage).
// The last line printed is "N passed, N failed"; the exit code is 1 when a
// test failed.

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const WIDTH = 552;
const HEIGHT = 404;
const HEADER = 64;
const CHM_LIMIT = 200 * 1024;
// The program's links: what the page may send into the hidden frame.
const KNOWN_LINKS = ['spec:stat', 'spec:stat-site', 'spec:wizstat', 'spec:conf', 'spec:radio',
                     'spec:soft-intro', 'spec:modem'];
const OFFERED_LINKS = ['spec:stat-site', 'spec:wizstat', 'spec:radio', 'spec:soft-intro'];

function option(name) {
  const i = process.argv.indexOf(name);
  return i > 0 ? process.argv[i + 1] : undefined;
}

const pageDir = option('--page-dir');
const chmPath = option('--chm');
const screenshot = option('--screenshot');
if (!pageDir || !screenshot) {
  console.error('usage: node start_page.test.js --page-dir DIR [--chm FILE] --screenshot FILE');
  console.log('0 passed, 1 failed');
  process.exit(2);
}

// --- a very small runner ----------------------------------------------------

const tests = [];
function test(name, fn) { tests.push({ name, fn }); }

function check(condition, message) {
  if (!condition) throw new Error(message);
}
function equal(actual, expected, what) {
  if (actual !== expected) {
    throw new Error(`${what}: expected ${JSON.stringify(expected)}, got ${JSON.stringify(actual)}`);
  }
}

// --- the page's files, served as the help file would give them -------------

const TYPES = { '.htm': 'text/html', '.html': 'text/html', '.png': 'image/png', '.gif': 'image/gif',
                '.css': 'text/css', '.js': 'text/javascript' };
const served = []; // { url, status }

function startServer(root) {
  const server = http.createServer((req, res) => {
    // Browsers ask for a site icon on their own; the help file has none.
    if (req.url === '/favicon.ico') {
      res.writeHead(204);
      res.end();
      return;
    }
    const rel = decodeURIComponent(req.url.split('?')[0].split('#')[0]);
    const file = path.normalize(path.join(root, rel));
    let status = 200;
    let body = null;
    if (!file.startsWith(path.resolve(root) + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      status = 404;
    } else {
      body = fs.readFileSync(file);
    }
    served.push({ url: req.url, status });
    if (status !== 200) {
      res.writeHead(status);
      res.end();
      return;
    }
    // No charset in the answer: the page's own declaration has to carry it,
    // as it does inside the help file.
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
                         'Cache-Control': 'no-store' });
    res.end(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// --- browser helpers ----------------------------------------------------------

let context;
let page;
let baseUrl;
let problems = [];      // script errors and console errors
let frameLinks = [];    // { url, frame } for every program link the page sent

function isProgramLink(url) { return /^spec:/i.test(url); }

async function openPage(hash) {
  if (page) await page.close();
  problems = [];
  frameLinks = [];
  page = await context.newPage();
  await page.setViewportSize({ width: WIDTH, height: HEIGHT });
  page.on('pageerror', (e) => problems.push('script error: ' + e.message));
  page.on('console', (m) => {
    // Chromium has no handler for the program's scheme and says so when a
    // frame goes to one; that is the expected end of such a link here.
    if (m.type() === 'error' && !/launch 'spec:/.test(m.text())) problems.push('console: ' + m.text());
  });
  page.on('request', (r) => {
    if (isProgramLink(r.url())) frameLinks.push({ url: r.url(), frame: r.frame() ? r.frame().name() : '' });
  });
  await page.goto(baseUrl + '/index.htm' + (hash || ''), { waitUntil: 'load' });
  await page.waitForTimeout(100);
}

async function settle() { await page.waitForTimeout(400); }

function sent(url) { return frameLinks.filter((l) => l.url === url); }

// Whether a click at the middle of the element would reach it, rather than
// something laid over it.
async function reachable(selector) {
  return page.evaluate((sel) => {
    const e = document.querySelector(sel);
    if (!e) return false;
    const r = e.getBoundingClientRect();
    const hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    return r.width > 0 && r.height > 0 && (hit === e || e.contains(hit));
  }, selector);
}

// Sections are switched by clicks dispatched in the page: after a frame has
// gone to the program's scheme with a user gesture, headless Chromium now and
// then drops the next synthetic mouse click before it reaches the page. The
// tab's own handler runs either way; reachable() covers what a mouse adds.
async function showSection(tabId) {
  check(await reachable('#' + tabId), tabId + ' cannot be clicked');
  await page.evaluate((id) => document.getElementById(id).click(), tabId);
  await settle();
}

async function visibleSection() {
  return page.evaluate(() => {
    const shown = [];
    ['page-home', 'page-svc', 'page-help'].forEach((id) => {
      const e = document.getElementById(id);
      if (e && e.offsetWidth > 0 && e.offsetHeight > 0) shown.push(id);
    });
    return shown.join(',');
  });
}

// Clicks a link without a user gesture: Chromium then really navigates the
// target frame (with a gesture it hands an unknown scheme straight to the
// system), so the frame the link goes to can be seen.
async function clickFromScript(selector) {
  await page.evaluate((s) => document.querySelector(s).click(), selector);
  await settle();
}

// --- the tests ------------------------------------------------------------------

const pageBytes = fs.readFileSync(path.join(pageDir, 'index.htm'));
const pageText = new TextDecoder('windows-1251').decode(pageBytes);

test('the page is stored in Windows-1251 and says so', () => {
  check(/<meta[^>]+http-equiv=["']?Content-Type["']?[^>]+charset=windows-1251/i.test(pageText),
    'no Content-Type declaration with charset windows-1251');
  check(/<meta[^>]+X-UA-Compatible[^>]+content=["']IE=edge["']/i.test(pageText), 'no X-UA-Compatible IE=edge');
  check(pageText.includes('Центр Lumora Верескинск'), 'the title does not read back from Windows-1251');
  check(!pageBytes.includes(Buffer.from('Центр', 'utf8')), 'the page still holds UTF-8 text');
});

test('the page script is one that old engines run', () => {
  const scripts = [...pageText.matchAll(/<script[^>]*>([\s\S]*?)<\/script>/gi)].map((m) => m[1]).join('\n');
  const handlers = [...pageText.matchAll(/\son\w+="([^"]*)"/gi)].map((m) => m[1]).join('\n');
  const code = scripts + '\n' + handlers;
  check(scripts.trim().length > 0, 'no script found');
  const modern = [[/=>/, 'arrow function'], [/\b(let|const|class)\s/, 'let/const/class'],
                  [/addEventListener/, 'addEventListener'], [/classList/, 'classList'],
                  [/querySelector/, 'querySelector'], [/`/, 'template literal'],
                  [/\.(forEach|map|filter|indexOf|trim)\(/, 'ES5 array or string method'],
                  [/textContent/, 'textContent']];
  for (const [pattern, what] of modern) check(!pattern.test(code), 'the page script uses ' + what);
});

test('the page loads without script or console errors and fetches every file', async () => {
  served.length = 0;
  await openPage();
  equal(problems.join('\n'), '', 'errors');
  const missing = served.filter((s) => s.status !== 200).map((s) => s.url);
  equal(missing.join(', '), '', 'files the page asked for that are not in the help content');
  const images = await page.evaluate(() => Array.prototype.map.call(document.images, (i) =>
    ({ src: i.getAttribute('src'), ok: i.complete && i.naturalWidth > 0, w: i.naturalWidth, h: i.naturalHeight,
       aw: i.getAttribute('width'), ah: i.getAttribute('height') })));
  check(images.length > 0, 'the page shows no images');
  for (const i of images) {
    check(i.ok, i.src + ' did not load');
    // Stated sizes let old engines lay the page out before images arrive;
    // they must match, or the images are drawn scaled.
    equal(`${i.aw}x${i.ah}`, `${i.w}x${i.h}`, i.src + ' stated size');
  }
});

test('the header is the top 64 pixels with the logo and the centre\'s name', async () => {
  await openPage();
  const head = await page.evaluate(() => {
    const h = document.getElementById('head');
    const r = h.getBoundingClientRect();
    const logo = document.getElementById('logo').getBoundingClientRect();
    return { top: r.top, height: r.height, width: r.width, text: h.innerText,
             logoBottom: logo.bottom, logoWidth: logo.width };
  });
  equal(head.top, 0, 'header top');
  equal(head.height, HEADER, 'header height');
  equal(head.width, WIDTH, 'header width');
  check(head.text.includes('Центр Lumora Верескинск'), 'the header does not name the centre');
  check(head.logoWidth > 0 && head.logoBottom <= HEADER, 'the logo is not inside the header');
});

test('every section fits 552 x 404 without scroll bars or clipped content', async () => {
  await openPage();
  for (const tab of ['tab-home', 'tab-svc', 'tab-help']) {
    await showSection(tab);
    const fit = await page.evaluate(() => {
      const out = [];
      const de = document.documentElement;
      if (de.scrollWidth > 552 || de.scrollHeight > 404) out.push(`document ${de.scrollWidth}x${de.scrollHeight}`);
      if (window.innerWidth - de.clientWidth > 0 || window.innerHeight - de.clientHeight > 0) out.push('scroll bars shown');
      const sections = ['page-home', 'page-svc', 'page-help'].map((id) => document.getElementById(id))
        .filter((e) => e.offsetHeight > 0);
      if (sections.length !== 1) out.push(sections.length + ' sections shown at once');
      sections.forEach((s) => {
        if (s.scrollHeight > s.clientHeight || s.scrollWidth > s.clientWidth) {
          out.push(`${s.id} content ${s.scrollWidth}x${s.scrollHeight} in ${s.clientWidth}x${s.clientHeight}`);
        }
        // Boxes of a fixed size must hold their text.
        Array.prototype.forEach.call(s.getElementsByTagName('*'), (e) => {
          if (!/\b(card|tile|band)\b/.test(e.className)) return;
          if (e.scrollHeight > e.clientHeight || e.scrollWidth > e.clientWidth) {
            out.push(`${e.id || e.className} content ${e.scrollWidth}x${e.scrollHeight} in ${e.clientWidth}x${e.clientHeight}`);
          }
        });
        Array.prototype.forEach.call(s.getElementsByTagName('*'), (e) => {
          const r = e.getBoundingClientRect();
          if (r.width === 0 && r.height === 0) return;
          if (r.left < 0 || r.top < 64 || r.right > 552 || r.bottom > 404) {
            out.push(`${e.tagName}${e.id ? '#' + e.id : ''} "${(e.innerText || '').slice(0, 30)}" at ` +
                     `${Math.round(r.left)},${Math.round(r.top)}-${Math.round(r.right)},${Math.round(r.bottom)}`);
          }
        });
      });
      return out;
    });
    equal(fit.join('; '), '', tab + ' layout');
  }
  equal(problems.join('\n'), '', 'errors');
});

test('the frame "ifr" exists and stays hidden', async () => {
  await openPage();
  for (const tab of ['tab-home', 'tab-svc', 'tab-help']) {
    await showSection(tab);
    const f = await page.evaluate(() => {
      const e = document.getElementById('ifr');
      if (!e) return null;
      const r = e.getBoundingClientRect();
      return { tag: e.tagName, name: e.getAttribute('name'), w: r.width, h: r.height,
               display: getComputedStyle(e).display, byName: window.frames.ifr === e.contentWindow };
    });
    check(f !== null, 'no element with id "ifr"');
    equal(f.tag, 'IFRAME', 'element "ifr"');
    equal(f.name, 'ifr', 'frame name');
    check(f.byName, 'the frame is not reachable by the name "ifr"');
    check(f.display === 'none' || (f.w === 0 && f.h === 0), `the frame shows (${f.display}, ${f.w}x${f.h})`);
  }
});

test('the account block carries the labels and both placeholders', async () => {
  await openPage();
  const block = await page.evaluate(() => {
    const out = {};
    ['stat-1', 'stat-2'].forEach((id) => {
      const e = document.getElementById(id);
      if (!e) return;
      // The block is the nearest ancestor with the heading "Личный кабинет".
      let block = e.parentNode;
      while (block && !(block.getElementsByTagName && Array.prototype.some.call(
        block.getElementsByTagName('h2'), (h) => h.innerText.trim() === 'Личный кабинет'))) block = block.parentNode;
      const range = document.createRange();
      if (block) { range.setStart(block, 0); range.setEndBefore(e); }
      let section = e;
      while (section && !/^page-/.test(section.id || '')) section = section.parentNode;
      out[id] = { html: e.innerHTML, inBlock: !!block, before: block ? range.toString().replace(/\s+/g, ' ').trim() : '',
                  section: section ? section.id : '' };
    });
    out.tab = document.getElementById('tab-svc') ? document.getElementById('tab-svc').innerText.trim() : '';
    return out;
  });
  equal(block.tab, 'Сервис', 'the tab of the account section');
  for (const [id, label] of [['stat-1', 'Тарифный план:'], ['stat-2', 'Объём внешнего трафика:']]) {
    check(block[id], `no element "${id}"`);
    equal(block[id].html, '...', id + ' at start');
    equal(block[id].section, 'page-svc', id + ' section');
    check(block[id].inBlock, id + ' is not in the block headed "Личный кабинет"');
    check(block[id].before.endsWith(label), `${id} does not follow "${label}" (text before it: "${block[id].before}")`);
  }
});

test('the start page does not ask for the account before it is shown', async () => {
  await openPage();
  await settle();
  equal(await visibleSection(), 'page-home', 'section shown at start');
  equal(sent('spec:stat').length, 0, 'statistics requests at start');
});

test('showing the account section asks the program for the figures once', async () => {
  await openPage();
  // A real mouse click, as the user makes it.
  await page.click('#tab-svc');
  await settle();
  equal(await visibleSection(), 'page-svc', 'section shown');
  const asked = sent('spec:stat');
  equal(asked.length, 1, 'statistics requests');
  equal(asked[0].frame, 'ifr', 'frame of the request');
  equal(await page.evaluate(() => document.getElementById('stat-1').innerHTML), '...', 'stat-1');
  equal(page.url().split('#')[0], baseUrl + '/index.htm', 'page address');
  equal(problems.join('\n'), '', 'errors');
});

test('showing it again while "stat-1" still reads "..." asks again', async () => {
  await openPage();
  await showSection('tab-svc');
  await showSection('tab-home');
  equal(sent('spec:stat').length, 1, 'requests after leaving the section');
  await showSection('tab-svc');
  equal(sent('spec:stat').length, 2, 'requests after coming back');
});

test('once the program has written the figures, showing the section asks no more', async () => {
  await openPage();
  await showSection('tab-svc');
  equal(sent('spec:stat').length, 1, 'first request');
  // What the program writes after a run, successful or not.
  await page.evaluate(() => {
    document.getElementById('stat-1').innerHTML = '<b>Домашний 100</b>';
    document.getElementById('stat-2').innerHTML = '<font color=gray>Нет данных</font>';
  });
  await showSection('tab-help');
  await showSection('tab-svc');
  await showSection('tab-home');
  await showSection('tab-svc');
  equal(sent('spec:stat').length, 1, 'requests after the figures arrived');
});

test('the home section\'s account tile opens the account section and asks once', async () => {
  await openPage();
  check(await reachable('#page-home a[href="#svc"]'), 'no link to the account section on the home section');
  await clickFromScript('#page-home a[href="#svc"]');
  equal(await visibleSection(), 'page-svc', 'section shown');
  equal(sent('spec:stat').length, 1, 'statistics requests');
});

test('an address ending in #svc opens the account section and asks once', async () => {
  await openPage('#svc');
  await settle();
  equal(await visibleSection(), 'page-svc', 'section shown');
  equal(sent('spec:stat').length, 1, 'statistics requests');
  equal(problems.join('\n'), '', 'errors');
});

test('the settings button in the header asks for the settings page through "ifr"', async () => {
  await openPage();
  const button = await page.evaluate(() => {
    const e = document.getElementById('conf');
    if (!e) return null;
    const r = e.getBoundingClientRect();
    return { href: e.getAttribute('href'), target: e.getAttribute('target'), text: e.innerText.trim(),
             top: r.top, bottom: r.bottom, w: r.width };
  });
  check(button, 'no settings button (#conf)');
  equal(button.href, 'spec:conf', 'settings button href');
  equal(button.target, 'ifr', 'settings button target');
  check(button.w > 0 && button.bottom <= HEADER, 'the settings button is not visible in the header');
  check(button.text.length > 0, 'the settings button has no caption');
  check(await reachable('#conf'), 'the settings button cannot be clicked');
  await clickFromScript('#conf');
  const conf = sent('spec:conf');
  equal(conf.length, 1, 'settings requests');
  equal(conf[0].frame, 'ifr', 'frame of the settings request');
  equal(page.url().split('#')[0], baseUrl + '/index.htm', 'page address after the click');
  // A real click leaves the page as it was too.
  await page.click('#conf');
  await settle();
  equal(page.url().split('#')[0], baseUrl + '/index.htm', 'page address after a real click');
  equal(await visibleSection(), 'page-home', 'section after the click');
});

test('the four program links are offered and go into "ifr"', async () => {
  await openPage();
  const links = await page.evaluate(() => Array.prototype.map.call(document.getElementsByTagName('a'), (a, i) =>
    ({ i, href: a.getAttribute('href') || '', target: a.getAttribute('target') || '', text: a.innerText.trim(),
       section: (function (n) { while (n && !/^page-|^head$/.test(n.id || '')) n = n.parentNode; return n ? n.id : ''; })(a) })));
  for (const url of OFFERED_LINKS) {
    const offered = links.filter((l) => l.href === url);
    check(offered.length > 0, 'no link to ' + url);
    check(offered.every((l) => l.text.length > 0), 'a link to ' + url + ' has no text');
  }
  const billing = links.filter((l) => l.href === 'spec:stat-site');
  check(billing.some((l) => l.section === 'page-svc' && /Биллинг/.test(l.text)),
    'the billing link is not in the account section');
  for (const l of links.filter((l) => isProgramLink(l.href))) {
    equal(l.target, 'ifr', `target of the link to ${l.href} ("${l.text}")`);
    check(KNOWN_LINKS.includes(l.href), `unknown program link ${l.href} ("${l.text}")`);
  }
  // Each offered link really navigates the hidden frame, never the page.
  for (const url of OFFERED_LINKS) {
    const first = links.find((l) => l.href === url);
    const before = sent(url).length;
    await page.evaluate((i) => {
      const a = document.getElementsByTagName('a')[i];
      a.click();
    }, first.i);
    await settle();
    equal(sent(url).length - before, 1, 'requests for ' + url);
    equal(sent(url)[before].frame, 'ifr', 'frame of ' + url);
    equal(page.url().split('#')[0], baseUrl + '/index.htm', 'page address after ' + url);
  }
  equal(problems.join('\n'), '', 'errors');
});

test('links to other sites are plain http:// links', async () => {
  await openPage();
  const hrefs = await page.evaluate(() => Array.prototype.map.call(document.getElementsByTagName('a'),
    (a) => a.getAttribute('href') || ''));
  const outside = hrefs.filter((h) => /^[a-z][a-z0-9+.-]*:/i.test(h) && !isProgramLink(h));
  check(outside.length > 0, 'the page links to no other site');
  for (const h of outside) check(/^http:\/\//.test(h), h + ' would not open in the user\'s browser');
  for (const h of hrefs) check(h !== '' && !/^javascript:/i.test(h), 'a link without a real address: "' + h + '"');
});

// The same page is shown by the Windows and the Linux desktop editions.
test('the page speaks of no one system\'s desktop', async () => {
  await openPage();
  const text = await page.evaluate(() => document.body.textContent.replace(/\s+/g, ' '));
  for (const word of ['Windows', 'Linux', 'часами', 'часы', 'Пуск', 'панели задач']) {
    check(!text.includes(word), `the page says "${word}": ` +
      text.slice(Math.max(0, text.indexOf(word) - 40), text.indexOf(word) + 40));
  }
});

test('the help file holds the page and its images and stays small', () => {
  if (!chmPath) throw new Error('no help file was compiled (chmcmd missing?)');
  const chm = fs.readFileSync(chmPath);
  equal(chm.subarray(0, 4).toString('latin1'), 'ITSF', 'help file signature');
  check(chm.length < CHM_LIMIT, `help file is ${chm.length} bytes`);
  const listed = fs.readdirSync(path.join(pageDir, 'img')).map((f) => '/img/' + f).concat(['/index.htm']);
  for (const name of listed) check(chm.includes(Buffer.from(name, 'latin1')), name + ' is not in the help file');
});

// Pictures of the three sections for people to look at; not a test.
async function takeScreenshots() {
  await openPage();
  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot });
  const base = screenshot.replace(/\.png$/, '');
  await showSection('tab-svc');
  await page.screenshot({ path: base + '-service.png' });
  await page.evaluate(() => {
    document.getElementById('stat-1').innerHTML = 'Домашний 100';
    document.getElementById('stat-2').innerHTML = '37 ГБайт';
  });
  await page.screenshot({ path: base + '-service-filled.png' });
  await showSection('tab-help');
  await page.screenshot({ path: base + '-help.png' });
}

// --- run --------------------------------------------------------------------------

(async () => {
  let passed = 0;
  let failed = 0;
  const server = await startServer(pageDir);
  baseUrl = 'http://127.0.0.1:' + server.address().port;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lum-page-chromium-'));
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.LUM_CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             '--lang=ru-RU'],
      viewport: { width: WIDTH, height: HEIGHT },
      deviceScaleFactor: 1,
    });
    for (const t of tests) {
      try {
        await t.fn();
        passed++;
        console.log('ok   ' + t.name);
      } catch (e) {
        failed++;
        console.log('FAIL ' + t.name + '\n     ' + String(e && e.message || e).split('\n').join('\n     '));
      }
    }
    try {
      await takeScreenshots();
      console.log('screenshots in ' + path.dirname(screenshot));
    } catch (e) {
      console.log('no screenshots: ' + (e && e.message || e));
    }
  } catch (e) {
    console.log('FAIL the browser could not be started: ' + (e && e.message || e));
    failed++;
  } finally {
    if (context) await context.close().catch(() => {});
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
