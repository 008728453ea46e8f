# Skarvo inside FlightGear: the terrain probe that skarvo-fg asks for the
# ground's heights, and the state the Skarvo menu and status window show.
# skarvo-fg talks to FlightGear only through properties: /skarvo/keys/*
# (pressed here, read and reset by skarvo-fg), /skarvo/probe/* and
# /skarvo/status/* and /skarvo/clouds/* (written by skarvo-fg).

# The ground's height at points of the loaded scenery, without moving the
# aircraft. skarvo-fg sets the request's properties and then its number; the
# listener answers within the same set, so a get sent after it reads the
# answer in the same frame. Heights are metres, "none" where no scenery is
# loaded. The answer starts with the request's number.
var height = func(lat, lon) {
    var info = geodinfo(lat, lon);
    return info == nil ? "none" : sprintf("%.3f", info[0]);
}

# Metres rounded half away from zero into the ground offset's range, as
# skarvo-fg rounds them.
var whole_metres = func(h) {
    var m = h < 0 ? -math.floor(-h + 0.5) : math.floor(h + 0.5);
    return m < -32768 ? -32768 : (m > 32767 ? 32767 : m);
}

# Whole metres, a character each where they change little: a change of -31
# to 30 m from the one before is one of these 62 digits, any other value
# "(METRES)", no scenery "."; the first after a "." is a "(METRES)".
var change_digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
var encoded = func(metres) {
    var out = [];
    var last = nil;
    foreach (var m; metres) {
        if (m == nil) append(out, ".");
        elsif (last != nil and m - last >= -31 and m - last <= 30) append(out, chr(change_digits[m - last + 31]));
        else append(out, sprintf("(%d)", m));
        last = m;
    }
    return string.join("", out);
}

# The numbers of a list set in pieces: latitudes[0], latitudes[1], ...
var numbers = func(node, name) {
    var found = [];
    foreach (var piece; node.getChildren(name))
        foreach (var word; split(" ", piece.getValue() == nil ? "" : piece.getValue() ~ ""))
            if (num(word) != nil) append(found, num(word));
    return found;
}

var start_probe = func {
    # One point: latitude-deg, longitude-deg.
    setlistener("/skarvo/probe/point-request", func(request) {
        var lat = num(getprop("/skarvo/probe/latitude-deg"));
        var lon = num(getprop("/skarvo/probe/longitude-deg"));
        setprop("/skarvo/probe/point-answer", request.getValue() ~ " " ~ height(lat, lon));
    });
    # A grid: south-deg, west-deg, step-deg, rows, columns; the heights row
    # by row from the south, each row from the west.
    setlistener("/skarvo/probe/grid-request", func(request) {
        var south = num(getprop("/skarvo/probe/south-deg"));
        var west = num(getprop("/skarvo/probe/west-deg"));
        var step = num(getprop("/skarvo/probe/step-deg"));
        var rows = num(getprop("/skarvo/probe/rows"));
        var columns = num(getprop("/skarvo/probe/columns"));
        var answer = request.getValue() ~ "";
        for (var i = 0; i < rows; i += 1)
            for (var j = 0; j < columns; j += 1)
                answer = answer ~ " " ~ height(south + i * step, west + j * step);
        setprop("/skarvo/probe/grid-answer", answer);
    });
    # Blocks of the terrain scan's points, one on each of skarvo-fg's
    # connections for them (the property server sends each connection about
    # 512 bytes a frame): block[k] has latitudes[n] and longitudes[n] (lists,
    # space-separated, in pieces of up to 8 KB: the server's longest line);
    # the answer holds the ground of every latitude with every longitude,
    # latitude by latitude, in whole metres as encoded().
    for (var k = 0; k < 4; k += 1)
        setlistener("/skarvo/probe/block[" ~ k ~ "]/request", func(request) {
            var at = request.getParent();
            var metres = [];
            var longitudes = numbers(at, "longitudes");
            foreach (var lat; numbers(at, "latitudes"))
                foreach (var lon; longitudes) {
                    var info = geodinfo(lat, lon);
                    append(metres, info == nil ? nil : whole_metres(info[0]));
                }
            at.setValue("answer", request.getValue() ~ " " ~ encoded(metres));
        });
}

# The status window's lines. skarvo-fg sets attached, last-text and the
# vertical air; nobody sets them while it is not running.
var start_status = func {
    var status = props.globals.getNode("/skarvo/status", 1);
    status.setBoolValue("attached", 0);
    status.setValue("last-text", "");
    status.setDoubleValue("vertical-air-mps", 0);
    status.setDoubleValue("vertical-air-kt", 0);
    var describe = func(attached) {
        status.setValue("program", attached.getBoolValue() ? "attached" : "not attached");
    };
    setlistener(status.getNode("attached"), describe, 1, 0);
}

# Cumulus over Skarvo's thermals, drawn by FlightGear's own cloud placement
# (the add-cloud command and the cumulus texture sheet its advanced weather
# caps thermals with; FlightGear's 3D clouds must be on to see them).
# skarvo-fg keeps eight slots /skarvo/clouds/cloud[i] (serial, 0 = none;
# latitude-deg, longitude-deg, base-ft, width-m) and counts its changes in
# /skarvo/clouds/update. What is drawn is kept under /skarvo/clouds/shown[i].
var first_cloud_index = 731000;  # add-cloud's numbers on layer 0, apart from FlightGear's own
var next_cloud_index = first_cloud_index;
var regrow_share = 0.15;         # a cloud is drawn anew when its width changes by more

var add_cumulus = func(index, lat, lon, base_ft, width) {
    # Few, small sprites: drawn in software each one costs frames.
    var sprite = math.max(200, math.min(600, width * 0.3));
    fgcommand("add-cloud", props.Node.new({ "layer": 0, "index": index, "lat-deg": lat, "lon-deg": lon,
        "alt-ft": base_ft, "min-cloud-width-m": width, "max-cloud-width-m": width,
        "min-cloud-height-m": width * 0.6, "max-cloud-height-m": width * 0.6,
        "min-sprite-width-m": sprite * 0.8, "max-sprite-width-m": sprite,
        "min-sprite-height-m": sprite * 0.8, "max-sprite-height-m": sprite,
        "num-sprites": 3, "texture": "/Models/Weather/cumulus_sheet1.rgb", "num-textures-x": 3,
        "num-textures-y": 3, "z-scale": 1.0, "height-map-texture": 0, "alpha-factor": 1.0,
        "min-bottom-lighting-factor": 0.5, "max-bottom-lighting-factor": 0.5,
        "min-middle-lighting-factor": 0.9, "min-top-lighting-factor": 1.0, "max-top-lighting-factor": 1.0,
        "min-shade-lighting-factor": 0.5 }));
}

var remove_cumulus = func(index) {
    fgcommand("del-cloud", props.Node.new({ "layer": 0, "index": index }));
}

var move_cumulus = func(index, lat, lon, base_ft) {
    fgcommand("move-cloud", props.Node.new({ "layer": 0, "index": index, "lat-deg": lat, "lon-deg": lon,
        "alt-ft": base_ft }));
}

var show_slot = func(wanted, shown) {
    # skarvo-fg's values arrive as text over the property server.
    var serial = num(wanted.getValue("serial") or 0);
    var drawn = shown.getValue("serial") or 0;
    var index = shown.getValue("index");
    if (serial == 0) {
        if (drawn != 0) remove_cumulus(index);
        shown.setIntValue("serial", 0);
        return;
    }
    var lat = num(wanted.getValue("latitude-deg"));
    var lon = num(wanted.getValue("longitude-deg"));
    var base_ft = num(wanted.getValue("base-ft"));
    var width = num(wanted.getValue("width-m"));
    var drawn_width = shown.getValue("width-m") or 0;
    if (drawn != serial or math.abs(width - drawn_width) > regrow_share * drawn_width) {
        if (drawn != 0) remove_cumulus(index);
        index = next_cloud_index;
        next_cloud_index += 1;
        add_cumulus(index, lat, lon, base_ft, width);
        shown.setIntValue("index", index);
        shown.setDoubleValue("width-m", width);
    } else {
        move_cumulus(index, lat, lon, base_ft);
    }
    shown.setIntValue("serial", serial);
    shown.setDoubleValue("latitude-deg", lat);
    shown.setDoubleValue("longitude-deg", lon);
    shown.setDoubleValue("base-ft", base_ft);
    shown.setDoubleValue("placed-at-sec", getprop("/sim/time/elapsed-sec"));
}

var start_clouds = func {
    var clouds = props.globals.getNode("/skarvo/clouds", 1);
    setlistener(clouds.getNode("update", 1), func {
        for (var i = 0; i < 8; i += 1)
            show_slot(clouds.getChild("cloud", i, 1), clouds.getChild("shown", i, 1));
    }, 0, 0);
}

var main = func(addon) {
    start_probe();
    start_status();
    start_clouds();
    logprint(3, "Skarvo add-on " ~ addon.version.str() ~ " loaded from " ~ addon.basePath);
}
