// The C runtime's wall clock and local time in the web build, in place of
// emscripten's own (which read the machine's clock and the browser's zone):
// the simulator sets the time every clock read reports (dk_clock_set, as
// libfaketime is set natively), and local time follows TZ as the C runtime's
// does, any IANA zone the JavaScript engine knows, clock changes included.
// mktime resolves a time the clocks skip or show twice as the GNU C library
// does, which the plug-in's and the report's schedules rely on.
// emscripten's strftime, for the formats the fast one below leaves to it.
var dkFullStrftime = LibraryManager.library.strftime;
var dkFullStrftimeDeps = LibraryManager.library.strftime__deps;

var LibraryDrovekeeperClock = {
  // getenv and malloc are exported (web/CMakeLists.txt): TZ is read from the C side.
  $dkClock: {
    // Simulated seconds since the epoch; null: the machine's clock.
    now: null,
    tzName: 0,  // "TZ", in the module's memory
    zoneText: null,  // TZ as last read
    zoneBytes: null,  // its bytes
    zone: null,  // the IANA zone in force; null: UTC
    formats: {},  // zone -> Intl.DateTimeFormat
    blocks: new Map(),  // quarter hour -> its local time, for the zone in force
    years: new Map(),  // year -> {std, dst, stdName, dstName}
    names: {},  // abbreviation -> its string in the module's memory
    lastOffset: 0,  // the offset the last mktime ended on

    // TZ's zone: a name the engine knows, else UTC (as the C runtime reads
    // a name it does not know).
    readZone: function() {
      if (!dkClock.tzName) dkClock.tzName = allocateUTF8('TZ');
      var ptr = _getenv(dkClock.tzName);
      // Called on every conversion: the bytes are compared before anything
      // is decoded.
      var bytes = dkClock.zoneBytes;
      if (bytes !== null && ptr) {
        var same = true;
        for (var i = 0; i <= bytes.length && same; ++i) {
          same = HEAPU8[ptr + i] === (i < bytes.length ? bytes[i] : 0);
        }
        if (same) return;
      }
      var text = ptr ? UTF8ToString(ptr) : '';
      dkClock.zoneBytes = ptr ? HEAPU8.slice(ptr, ptr + lengthBytesUTF8(text)) : null;
      if (text === dkClock.zoneText) return;
      dkClock.zoneText = text;
      var name = text.charAt(0) === ':' ? text.slice(1) : text;
      dkClock.zone = dkClock.known(name) && name !== 'UTC' && name !== 'GMT' ? name : null;
      dkClock.blocks = new Map();
      dkClock.years = new Map();
    },

    known: function(name) {
      if (!name) return false;
      if (dkClock.formats[name]) return true;
      try {
        dkClock.formats[name] = new Intl.DateTimeFormat('en-US', {
          timeZone: name, hourCycle: 'h23', year: 'numeric', month: 'numeric',
          day: 'numeric', hour: 'numeric', minute: 'numeric', second: 'numeric'
        });
        return true;
      } catch (e) {
        return false;
      }
    },

    // Seconds east of UTC at `t` (seconds since the epoch).
    exactOffset: function(t) {
      if (dkClock.zone === null) return 0;
      var parts = dkClock.formats[dkClock.zone].formatToParts(new Date(t * 1000));
      var f = {};
      for (var i = 0; i < parts.length; ++i) f[parts[i].type] = parts[i].value;
      var year = +f.year;
      if (f.era === 'BC' || f.era === 'B') year = 1 - year;
      var local = Date.UTC(year, +f.month - 1, +f.day, +f.hour % 24, +f.minute, +f.second) / 1000;
      return local - t;
    },

    // The local time at the start of the quarter hour of UTC that holds
    // `t`, kept: every change of a zone's offset since 1970 falls on one, and
    // on offsets of whole quarter hours no local day starts within one. Null
    // for a quarter hour that breaks either rule.
    block: function(t) {
      var index = Math.floor(t / 900);
      var entry = dkClock.blocks.get(index);
      if (entry !== undefined) return entry;
      var start = index * 900;
      var offset = dkClock.exactOffset(start);
      entry = offset === dkClock.exactOffset(start + 899) && offset % 900 === 0 ?
          dkClock.describe(start, offset) : null;
      dkClock.blocks.set(index, entry);
      return entry;
    },

    // Seconds east of UTC at `t`.
    offset: function(t) {
      var block = dkClock.block(t);
      return block !== null ? block.offset : dkClock.exactOffset(t);
    },

    // The standard and summer offsets of the year and their abbreviations:
    // standard time is the smaller offset of January and July.
    year: function(year) {
      var cached = dkClock.years.get(year);
      if (cached) return cached;
      var january = Date.UTC(year, 0, 1) / 1000;
      var july = Date.UTC(year, 6, 1) / 1000;
      var a = dkClock.exactOffset(january);
      var b = dkClock.exactOffset(july);
      var stdAt = a <= b ? january : july;
      var dstAt = a <= b ? july : january;
      var info = {std: Math.min(a, b), dst: Math.max(a, b),
                  stdName: dkClock.abbreviation(stdAt, Math.min(a, b)),
                  dstName: dkClock.abbreviation(dstAt, Math.max(a, b))};
      dkClock.years.set(year, info);
      return info;
    },

    // The zone's short name at `t`, as the zone files have it where the
    // engine knows it ("CET", "EDT"), else the offset ("+04", "+0530").
    abbreviation: function(t, offset) {
      if (dkClock.zone === null) return 'UTC';
      var zone = dkClock.zone;
      var locale = /^(Europe|Atlantic)\//.test(zone) ? 'en-GB' :
                   /^Australia\//.test(zone) ? 'en-AU' :
                   /^Pacific\/Auckland$/.test(zone) ? 'en-NZ' :
                   /^Asia\/(Kolkata|Calcutta)$/.test(zone) ? 'en-IN' : 'en-US';
      try {
        var parts = new Intl.DateTimeFormat(locale, {timeZone: zone, timeZoneName: 'short'})
                        .formatToParts(new Date(t * 1000));
        for (var i = 0; i < parts.length; ++i) {
          if (parts[i].type === 'timeZoneName' && /^[A-Z]{3,5}$/.test(parts[i].value) &&
              (parts[i].value !== 'GMT' || offset === 0)) {
            return parts[i].value;
          }
        }
      } catch (e) {
      }
      var sign = offset < 0 ? '-' : '+';
      var minutes = Math.abs(offset) / 60;
      var hh = ('0' + Math.floor(minutes / 60)).slice(-2);
      var mm = ('0' + (minutes % 60)).slice(-2);
      return sign + hh + (mm === '00' ? '' : mm);
    },

    isDst: function(t) {
      var block = dkClock.block(t);
      return (block !== null ? block : dkClock.describe(t, dkClock.exactOffset(t))).isdst;
    },

    name: function(text) {
      if (!dkClock.names[text]) dkClock.names[text] = allocateUTF8(text);
      return dkClock.names[text];
    },

    nowSeconds: function() {
      return dkClock.now !== null ? dkClock.now : Math.floor(Date.now() / 1000);
    },

    // The calendar date of day `days` since 1970-01-01: [year, month 1-12,
    // day of the month].
    civil: function(days) {
      var z = days + 719468;
      var era = Math.floor(z / 146097);
      var doe = z - era * 146097;
      var yoe = Math.floor((doe - Math.floor(doe / 1460) + Math.floor(doe / 36524) -
                            Math.floor(doe / 146096)) / 365);
      var doy = doe - (365 * yoe + Math.floor(yoe / 4) - Math.floor(yoe / 100));
      var mp = Math.floor((5 * doy + 2) / 153);
      var month = mp < 10 ? mp + 3 : mp - 9;
      return [yoe + era * 400 + (month <= 2 ? 1 : 0), month, doy - Math.floor((153 * mp + 2) / 5) + 1];
    },

    // The broken-down local time of `t` on `offset`, as struct tm has it.
    describe: function(t, offset) {
      var local = t + offset;
      var days = Math.floor(local / 86400);
      var seconds = local - days * 86400;
      var date = dkClock.civil(days);
      var info = dkClock.year(date[0]);
      return {base: t, offset: offset, sec: seconds % 60, min: Math.floor(seconds / 60) % 60,
              hour: Math.floor(seconds / 3600), mday: date[2], mon: date[1] - 1,
              year: date[0] - 1900, wday: ((days % 7) + 11) % 7,
              yday: days - Date.UTC(date[0], 0, 1) / 86400000,
              isdst: info.std !== info.dst && offset === info.dst ? 1 : 0};
    },

    // The broken-down local time of `t` into the struct tm at `tmPtr`.
    fill: function(t, tmPtr) {
      var f = dkClock.block(t);
      if (f === null) f = dkClock.describe(t, dkClock.exactOffset(t));
      // Within its quarter hour, only the time of day moves.
      var seconds = f.hour * 3600 + f.min * 60 + f.sec + (t - f.base);
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_sec, 'seconds % 60', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_min, 'Math.floor(seconds / 60) % 60', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_hour, 'Math.floor(seconds / 3600)', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_mday, 'f.mday', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_mon, 'f.mon', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_year, 'f.year', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_wday, 'f.wday', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_yday, 'f.yday', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_isdst, 'f.isdst', 'i32') }}};
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_gmtoff, 'f.offset', 'i32') }}};
      // localtime_r puts tzname's in its place; mktime keeps this one.
      var info = dkClock.year(f.year + 1900);
      {{{ makeSetValue('tmPtr', C_STRUCTS.tm.tm_zone, 'dkClock.name(f.isdst ? info.dstName : info.stdName)', POINTER_TYPE) }}};
    }
  },

  dk_clock_set__deps: ['$dkClock'],
  dk_clock_set: function(seconds) {
    dkClock.now = seconds;
  },

  // The clock as a process starts with it: the machine's time, and no
  // mktime before.
  dk_clock_reset__deps: ['$dkClock'],
  dk_clock_reset: function() {
    dkClock.now = null;
    dkClock.lastOffset = 0;
  },

  dk_clock_zone_known__deps: ['$dkClock'],
  dk_clock_zone_known: function(zonePtr) {
    return dkClock.known(UTF8ToString(zonePtr)) ? 1 : 0;
  },

  time__deps: ['$dkClock'],
  time: function(ptr) {
    var now = dkClock.nowSeconds();
    if (ptr) {
      {{{ makeSetValue('ptr', 0, 'now', 'i32') }}};
    }
    return now;
  },

  clock_gettime__deps: ['$dkClock', 'emscripten_get_now', '$setErrNo'],
  clock_gettime: function(clk_id, tp) {
    var seconds;
    var nanoseconds;
    if (clk_id === {{{ cDefine('CLOCK_REALTIME') }}}) {
      if (dkClock.now !== null) {
        seconds = dkClock.now;
        nanoseconds = 0;
      } else {
        var ms = Date.now();
        seconds = Math.floor(ms / 1000);
        nanoseconds = (ms % 1000) * 1000000;
      }
    } else if (clk_id === {{{ cDefine('CLOCK_MONOTONIC') }}} ||
               clk_id === {{{ cDefine('CLOCK_MONOTONIC_RAW') }}}) {
      // Wall time as it passes: the loop's budget and the progress.
      var now = _emscripten_get_now();
      seconds = Math.floor(now / 1000);
      nanoseconds = Math.floor((now % 1000) * 1000000);
    } else {
      setErrNo({{{ cDefine('EINVAL') }}});
      return -1;
    }
    {{{ makeSetValue('tp', C_STRUCTS.timespec.tv_sec, 'seconds', 'i32') }}};
    {{{ makeSetValue('tp', C_STRUCTS.timespec.tv_nsec, 'nanoseconds', 'i32') }}};
    return 0;
  },

  gettimeofday__deps: ['$dkClock'],
  gettimeofday: function(ptr) {
    var seconds = dkClock.nowSeconds();
    var microseconds = dkClock.now !== null ? 0 : (Date.now() % 1000) * 1000;
    {{{ makeSetValue('ptr', C_STRUCTS.timeval.tv_sec, 'seconds', 'i32') }}};
    {{{ makeSetValue('ptr', C_STRUCTS.timeval.tv_usec, 'microseconds', 'i32') }}};
    return 0;
  },

  // tzset: TZ read again, as the C runtime does; tzname holds the standard
  // and summer abbreviations of the current year.
  _tzset_js__deps: ['$dkClock'],
  _tzset_js: function(timezone, daylight, tzname) {
    var text = dkClock.zoneText;
    dkClock.readZone();
    if (text === dkClock.zoneText && {{{ makeGetValue('tzname', 0, POINTER_TYPE) }}}) return;
    var info = dkClock.year(new Date(dkClock.nowSeconds() * 1000).getUTCFullYear());
    {{{ makeSetValue('timezone', 0, '-info.std', 'i32') }}};
    {{{ makeSetValue('daylight', 0, 'info.std !== info.dst ? 1 : 0', 'i32') }}};
    {{{ makeSetValue('tzname', 0, 'dkClock.name(info.stdName)', POINTER_TYPE) }}};
    {{{ makeSetValue('tzname', Runtime.POINTER_SIZE, 'dkClock.name(info.dstName)', POINTER_TYPE) }}};
  },

  dk_full_strftime: dkFullStrftime,
  dk_full_strftime__deps: dkFullStrftimeDeps,

  // The plug-in asks for the zone's name ("%Z") many times a timer run:
  // dates, times and the zone are written here, anything else by
  // emscripten's own.
  strftime__deps: ['dk_full_strftime'],
  strftime: function(s, maxsize, format, tm) {
    var pattern = UTF8ToString(format);
    if (!/^([^%]|%[YmdHMSZ])*$/.test(pattern)) return _dk_full_strftime(s, maxsize, format, tm);
    var two = function(offset) {
      return ('0' + {{{ makeGetValue('tm', 'offset', 'i32') }}}).slice(-2);
    };
    var text = pattern.replace(/%[YmdHMSZ]/g, function(field) {
      switch (field) {
        case '%Y': return String({{{ makeGetValue('tm', C_STRUCTS.tm.tm_year, 'i32') }}} + 1900);
        case '%m': return ('0' + ({{{ makeGetValue('tm', C_STRUCTS.tm.tm_mon, 'i32') }}} + 1)).slice(-2);
        case '%d': return two({{{ C_STRUCTS.tm.tm_mday }}});
        case '%H': return two({{{ C_STRUCTS.tm.tm_hour }}});
        case '%M': return two({{{ C_STRUCTS.tm.tm_min }}});
        case '%S': return two({{{ C_STRUCTS.tm.tm_sec }}});
        default:
          var zone = {{{ makeGetValue('tm', C_STRUCTS.tm.tm_zone, POINTER_TYPE) }}};
          return zone ? UTF8ToString(zone) : '';
      }
    });
    var length = lengthBytesUTF8(text);
    if (length + 1 > maxsize) return 0;
    stringToUTF8(text, s, maxsize);
    return length;
  },

  _localtime_js__deps: ['$dkClock'],
  _localtime_js: function(timePtr, tmPtr) {
    dkClock.fill({{{ makeGetValue('timePtr', 0, 'i32') }}}, tmPtr);
  },

  // The local time in the struct tm, normalised, to seconds since the epoch.
  // A time shown twice is read on the offset the last call ended on, when it
  // is one of the two, else by following the offsets from that one (so the
  // answer depends on the calls before, as the GNU C library's does); a
  // skipped time is read on the offset before the change (summer time's
  // with tm_isdst > 0); a tm_isdst the time does not have reads it on the
  // other offset of its year, an hour ahead where the zone has only one.
  _mktime_js__deps: ['$dkClock'],
  _mktime_js: function(tmPtr) {
    var local = Date.UTC({{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_year, 'i32') }}} + 1900,
                         {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_mon, 'i32') }}},
                         {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_mday, 'i32') }}},
                         {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_hour, 'i32') }}},
                         {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_min, 'i32') }}},
                         {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_sec, 'i32') }}}) / 1000;
    if (isNaN(local)) return -1;
    var wantDst = {{{ makeGetValue('tmPtr', C_STRUCTS.tm.tm_isdst, 'i32') }}};
    var before = dkClock.offset(local - 86400);
    var after = dkClock.offset(local + 86400);
    var readings = [];
    [before, after].forEach(function(offset) {
      var t = local - offset;
      if (dkClock.offset(t) === offset && readings.indexOf(t) < 0) readings.push(t);
    });
    if (wantDst >= 0) {
      readings = readings.filter(function(r) {
        return dkClock.isDst(r) === (wantDst > 0 ? 1 : 0);
      });
    }
    var t;
    if (readings.length === 1) {
      t = readings[0];
    } else if (readings.length === 2) {
      var guess = local - dkClock.lastOffset;
      t = readings.indexOf(guess) >= 0 ? guess : local - dkClock.offset(guess);
    } else if (wantDst < 0) {
      t = local - before;
    } else {
      var info = dkClock.year(dkClock.civil(Math.floor(local / 86400))[0]);
      var summer = info.dst !== info.std ? info.dst : info.std + 3600;
      t = local - (wantDst > 0 ? summer : info.std);
    }
    dkClock.lastOffset = dkClock.offset(t);
    dkClock.fill(t, tmPtr);
    return t;
  }
};

mergeInto(LibraryManager.library, LibraryDrovekeeperClock);
