-- Wireshark dissector for the Vexil board's UDP protocols: the QV-Net identity query
-- and its answer, and Palvox frames (requests with their instructions, the 41-byte
-- short answer and the full status record).
--
-- Load it for one run:   tshark -X lua_script:tools/wireshark/vexil.lua -r capture.pcap
-- or for every run:      copy it into ~/.local/lib/wireshark/plugins/
--
-- It registers on UDP port 56789, the board's and the program's default port; the
-- preference "Vexil > UDP port" (vexil.udp_port, e.g. -o vexil.udp_port:50000) moves
-- it, and "Decode As..." works for any other port. Every multi-byte number on the wire
-- is big-endian. A frame that is too short for what it claims to hold is marked with an
-- expert item in the "Malformed" group, and nothing beyond its end is decoded.

local vexil = Proto("vexil", "Vexil board protocol")

local DEFAULT_PORT = 56789

-- ---- Frame layout -------------------------------------------------------------------
local PALVOX_MAGIC = "Palvox"
local QVNET_MAGIC = "QV-Net"
local MAGIC_LENGTH = 6
local USER_TEXT_OFFSET = 6
local USER_TEXT_LENGTH = 15
local FLAGS_OFFSET = 21
local HEADER_LENGTH = 22
local INSTRUCTION_HEADER_LENGTH = 3   -- opcode, 16-bit length
local ANSWER_OPCODE_OFFSET = 22
local SHORT_ANSWER_LENGTH = 41
local STATUS_MIN_LENGTH = 534
local EXTENSION_MIN_LENGTH = 662
local QVNET_QUERY_LENGTH = 18
local QVNET_QUERY_TEXT_OFFSET = 8
local QVNET_QUERY_TEXT = "  Send ACK"
local QVNET_ACK_LENGTH = 25
local QVNET_ACK_TYPE = 16             -- u16
local QVNET_ACK_SERIAL = 18           -- u16
local QVNET_ACK_MAJOR = 23
local QVNET_ACK_MINOR = 24
local ADDRESS_FIELD_LENGTH = 16       -- twelve bytes, then the IPv4 address
local ADDRESS_FIELD_IP = 12

-- Send TS data, from its first byte: the source, the three mode bytes, the destination
-- mode, zero bytes, then the IPv4 address and the port.
local TS = { source = 0, mode2 = 1, mode1 = 2, mode0 = 3, dest_mode = 4, zero = 5,
    zero_length = 18, dest_ip = 23, dest_port = 27 }
local MODE2_IPTV = 0x02

local OP_RESET = 0x01
local OP_ACK_REQUEST = 0x03
local OP_SET_SERIAL = 0x10
local OP_SET_TYPE = 0x11
local OP_SET_USER_TEXT = 0x12
local OP_SET_GATEWAY_IP = 0x20
local OP_SET_NET_MASK = 0x21
local OP_SET_IP = 0x24
local OP_SEND_TS = 0x30
local OP_DONT_SEND_TS = 0x31
local OP_SET_NCO = 0x40
local OP_ACK = 0xF0

local opcode_names = {
    [OP_RESET] = "Reset",
    [OP_ACK_REQUEST] = "ACK request",
    [OP_SET_SERIAL] = "Set Serial",
    [OP_SET_TYPE] = "Set Type",
    [OP_SET_USER_TEXT] = "Set User Text",
    [OP_SET_GATEWAY_IP] = "Set GatewayIP",
    [OP_SET_NET_MASK] = "Set NetMask",
    [OP_SET_IP] = "Set IP",
    [OP_SEND_TS] = "Send TS",
    [OP_DONT_SEND_TS] = "Dont Send TS",
    [OP_SET_NCO] = "Set NCO",
    [OP_ACK] = "ACK",
}

-- Data length of each instruction whose payload is decoded; any other length is shown
-- as raw bytes and flagged.
local data_lengths = {
    [OP_RESET] = 2, [OP_ACK_REQUEST] = 1, [OP_SET_SERIAL] = 4, [OP_SET_TYPE] = 2,
    [OP_SET_USER_TEXT] = 15, [OP_SET_GATEWAY_IP] = 17, [OP_SET_NET_MASK] = 16,
    [OP_SET_IP] = 16, [OP_SEND_TS] = 29, [OP_DONT_SEND_TS] = 1, [OP_SET_NCO] = 5,
}

local reset_types = { [0] = "PDI Reset", [1] = "System Reset", [2] = "SDI Reset" }
local ack_requests = { [0x00] = "Short answer", [0x01] = "Full status" }
local dest_modes = { [0] = "Me", [1] = "Broadcast", [2] = "IP", [3] = "Manual" }
local gateway_modes = { [0] = "No gateway", [1] = "Manual IP", [2] = "Auto" }

-- ---- Fields: QV-Net -----------------------------------------------------------------
local f = vexil.fields
f.message = ProtoField.string("vexil.message", "Message")
f.qv_magic = ProtoField.string("vexil.qvnet.magic", "Magic")
f.qv_query_text = ProtoField.string("vexil.qvnet.query_text", "Query text")
f.qv_type = ProtoField.uint16("vexil.qvnet.type", "Device Type")
f.qv_serial = ProtoField.uint16("vexil.qvnet.serial", "Device Serial")
f.qv_major = ProtoField.uint8("vexil.qvnet.version_major", "Version, major")
f.qv_minor = ProtoField.uint8("vexil.qvnet.version_minor", "Version, minor")
f.qv_version = ProtoField.string("vexil.qvnet.version", "Device Version")

-- ---- Fields: Palvox header and instructions -----------------------------------------
f.magic = ProtoField.string("vexil.magic", "Magic")
f.user_text = ProtoField.string("vexil.user_text", "User text")
f.flags = ProtoField.uint8("vexil.flags", "Flags", base.HEX)
f.opcode = ProtoField.uint8("vexil.opcode", "Opcode", base.HEX, opcode_names)
f.length = ProtoField.uint16("vexil.length", "Length")
f.data = ProtoField.bytes("vexil.data", "Data")
f.reset_type = ProtoField.uint8("vexil.reset.type", "Reset type", base.DEC, reset_types)
f.reset_time = ProtoField.uint8("vexil.reset.time", "Reset time (ms)")
f.ack_request = ProtoField.uint8("vexil.ack_request", "Answer asked for", base.HEX, ack_requests)
f.serial = ProtoField.uint32("vexil.serial", "Serial")
f.type = ProtoField.uint16("vexil.type", "Type")
f.set_user_text = ProtoField.string("vexil.set_user_text", "User text")
f.gateway_mode = ProtoField.uint8("vexil.gateway_mode", "Gateway mode", base.DEC, gateway_modes)
f.address_pad = ProtoField.bytes("vexil.address_pad", "Address field, leading bytes")
f.gateway_ip = ProtoField.ipv4("vexil.gateway_ip", "Gateway IP")
f.net_mask = ProtoField.ipv4("vexil.net_mask", "NetMask")
f.ip = ProtoField.ipv4("vexil.ip", "IP address")
f.nco_channel = ProtoField.uint8("vexil.nco.channel", "NCO channel")
f.nco_frequency = ProtoField.uint32("vexil.nco.frequency", "Frequency (Hz)")
f.ack_data = ProtoField.bytes("vexil.ack.data", "Answer data")

-- Send TS: the source, the three mode bytes, then where the stream goes.
f.ts_source = ProtoField.uint8("vexil.ts.source", "TS source")
f.ts_mode2 = ProtoField.uint8("vexil.ts.mode2", "Mode[2]", base.HEX)
f.ts_dv_pin = ProtoField.bool("vexil.ts.dv_pin", "DV pin", 8, { "Enabled", "Disabled" }, 0x01)
f.ts_iptv = ProtoField.bool("vexil.ts.iptv", "Format", 8, { "IPTV", "QV-Net" }, 0x02)
f.ts_always = ProtoField.bool("vexil.ts.always_send", "Always Send TS", 8, nil, 0x04)
f.ts_mode1 = ProtoField.uint8("vexil.ts.mode1", "Mode[1]", base.HEX)
f.ts_mode0 = ProtoField.uint8("vexil.ts.mode0", "Mode[0]", base.HEX)
f.ts_packet_number = ProtoField.uint8("vexil.ts.packet_number", "Packet Number", base.DEC, nil, 0xE0)
f.ts_remove_tsp = ProtoField.bool("vexil.ts.remove_tsp_errors", "Remove packets with TSP error", 8, nil, 0x04)
f.ts_remove_null = ProtoField.bool("vexil.ts.remove_null", "Remove null packets", 8, nil, 0x02)
f.ts_packet_204 = ProtoField.bool("vexil.ts.packet_204", "Packet format", 8, { "204 bytes", "188 bytes" }, 0x01)
f.ts_qvnet_size = ProtoField.uint16("vexil.ts.qvnet_size", "QV-Net data size")
f.ts_dest_mode = ProtoField.uint8("vexil.ts.dest_mode", "Destination mode", base.DEC, dest_modes)
f.ts_zero = ProtoField.bytes("vexil.ts.zero", "Zero bytes")
f.ts_dest_ip = ProtoField.ipv4("vexil.ts.dest_ip", "Destination IP")
f.ts_dest_port = ProtoField.uint16("vexil.ts.dest_port", "Destination port")

-- ---- Expert items -------------------------------------------------------------------
local ef_truncated = ProtoExpert.new("vexil.truncated", "Frame truncated",
    expert.group.MALFORMED, expert.severity.ERROR)
local ef_bad_length = ProtoExpert.new("vexil.bad_length", "Unexpected data length for this opcode",
    expert.group.MALFORMED, expert.severity.WARN)
local ef_not_vexil = ProtoExpert.new("vexil.unrecognised", "Neither a QV-Net nor a Palvox frame",
    expert.group.UNDECODED, expert.severity.WARN)
local ef_qvnet_length = ProtoExpert.new("vexil.qvnet.bad_length",
    "QV-Net frame of neither the query's nor the ACK's length", expert.group.MALFORMED,
    expert.severity.ERROR)
local ef_unknown_opcode = ProtoExpert.new("vexil.unknown_opcode", "Opcode without a known payload",
    expert.group.UNDECODED, expert.severity.NOTE)
local ef_no_extension = ProtoExpert.new("vexil.no_extension",
    "IP remultiplexer record shorter than 662 bytes: no extension block",
    expert.group.PROTOCOL, expert.severity.NOTE)
vexil.experts = { ef_truncated, ef_bad_length, ef_qvnet_length, ef_not_vexil, ef_unknown_opcode, ef_no_extension }

-- ---- Preferences --------------------------------------------------------------------
vexil.prefs.udp_port = Pref.uint("UDP port", DEFAULT_PORT,
    "The UDP port of the board (and, by default, of the program talking to it)")

-- ---- Helpers ------------------------------------------------------------------------
-- "1.05": the major number, a dot, the minor number's last two decimal digits.
local function version_text(major, minor)
    return string.format("%d.%02d", major, minor % 100)
end

local function starts_with(tvb, magic)
    return tvb:len() >= #magic and tvb(0, #magic):string() == magic
end

-- Marks `tree` truncated: `what` needs `need` bytes and the frame holds `have`.
local function mark_truncated(tree, what, need, have)
    tree:add_proto_expert_info(ef_truncated,
        string.format("%s truncated: needs %d bytes, the frame has %d", what, need, have))
end

-- ---- QV-Net -------------------------------------------------------------------------
local function dissect_qvnet(tvb, pinfo, tree)
    local len = tvb:len()
    tree:add(f.qv_magic, tvb(0, MAGIC_LENGTH))
    if len == QVNET_QUERY_LENGTH then
        tree:add(f.message, "QV-Net query"):set_generated()
        tree:add(f.qv_query_text, tvb(QVNET_QUERY_TEXT_OFFSET, #QVNET_QUERY_TEXT))
        pinfo.cols.info:set("QV-Net query")
    elseif len == QVNET_ACK_LENGTH then
        tree:add(f.message, "QV-Net ACK"):set_generated()
        local type = tvb(QVNET_ACK_TYPE, 2):uint()
        local serial = tvb(QVNET_ACK_SERIAL, 2):uint()
        local version = version_text(tvb(QVNET_ACK_MAJOR, 1):uint(), tvb(QVNET_ACK_MINOR, 1):uint())
        tree:add(f.qv_type, tvb(QVNET_ACK_TYPE, 2))
        tree:add(f.qv_serial, tvb(QVNET_ACK_SERIAL, 2))
        tree:add(f.qv_major, tvb(QVNET_ACK_MAJOR, 1))
        tree:add(f.qv_minor, tvb(QVNET_ACK_MINOR, 1))
        tree:add(f.qv_version, version):set_generated()
        pinfo.cols.info:set(string.format("QV-Net ACK: type %d, serial %d, v%s",
            type, serial, version))
    else
        -- Only these two lengths exist; any other is not decoded.
        tree:add(f.message, "QV-Net frame of unknown length"):set_generated()
        tree:add_proto_expert_info(ef_qvnet_length, string.format(
            "QV-Net frame of %d bytes: a query has %d, an ACK %d", len, QVNET_QUERY_LENGTH,
            QVNET_ACK_LENGTH))
        pinfo.cols.info:set(string.format("QV-Net, malformed (%d bytes)", len))
    end
end

-- ---- Palvox instructions ------------------------------------------------------------
-- A 16-byte address field: the twelve leading bytes, then the IPv4 address.
local function add_address_field(tree, range, ip_field)
    tree:add(f.address_pad, range(0, ADDRESS_FIELD_IP))
    tree:add(ip_field, range(ADDRESS_FIELD_IP, 4))
end

local function add_send_ts(tree, d)
    tree:add(f.ts_source, d(TS.source, 1))
    local mode2 = d(TS.mode2, 1)
    local m2 = tree:add(f.ts_mode2, mode2)
    m2:add(f.ts_dv_pin, mode2)
    m2:add(f.ts_iptv, mode2)
    m2:add(f.ts_always, mode2)
    local mode1 = d(TS.mode1, 1)
    local m1 = tree:add(f.ts_mode1, mode1)
    tree:add(f.ts_mode0, d(TS.mode0, 1))
    if bit32.band(mode2:uint(), MODE2_IPTV) ~= 0 then
        m1:add(f.ts_packet_number, mode1)
        m1:add(f.ts_remove_tsp, mode1)
        m1:add(f.ts_remove_null, mode1)
        m1:add(f.ts_packet_204, mode1)
    else
        -- In QV-Net format Mode[1] and Mode[0] are the data size, high byte first.
        tree:add(f.ts_qvnet_size, d(TS.mode1, 2))
    end
    tree:add(f.ts_dest_mode, d(TS.dest_mode, 1))
    tree:add(f.ts_zero, d(TS.zero, TS.zero_length))
    tree:add(f.ts_dest_ip, d(TS.dest_ip, 4))
    tree:add(f.ts_dest_port, d(TS.dest_port, 2))
end

-- Decodes the data `d` of one instruction whose length matches its opcode.
local function add_payload(tree, opcode, d)
    if opcode == OP_RESET then
        tree:add(f.reset_type, d(0, 1))
        tree:add(f.reset_time, d(1, 1))
    elseif opcode == OP_ACK_REQUEST then
        tree:add(f.ack_request, d(0, 1))
    elseif opcode == OP_SET_SERIAL then
        tree:add(f.serial, d(0, 4))
    elseif opcode == OP_SET_TYPE then
        tree:add(f.type, d(0, 2))
    elseif opcode == OP_SET_USER_TEXT then
        tree:add(f.set_user_text, d(0, 15))
    elseif opcode == OP_SET_GATEWAY_IP then
        tree:add(f.gateway_mode, d(0, 1))
        add_address_field(tree, d(1, ADDRESS_FIELD_LENGTH), f.gateway_ip)
    elseif opcode == OP_SET_NET_MASK then
        add_address_field(tree, d(0, ADDRESS_FIELD_LENGTH), f.net_mask)
    elseif opcode == OP_SET_IP then
        add_address_field(tree, d(0, ADDRESS_FIELD_LENGTH), f.ip)
    elseif opcode == OP_SEND_TS then
        add_send_ts(tree, d)
    elseif opcode == OP_DONT_SEND_TS then
        tree:add(f.ts_source, d(0, 1))
    elseif opcode == OP_SET_NCO then
        tree:add(f.nco_channel, d(0, 1))
        tree:add(f.nco_frequency, d(1, 4))
    end
end

-- Decodes the instructions from offset 22 to the end; returns their names for the
-- Info column. Stops at the first instruction that runs past the end of the frame.
local function dissect_instructions(tvb, tree)
    local names = {}
    local len = tvb:len()
    local at = HEADER_LENGTH
    while at < len do
        local opcode = tvb(at, 1):uint()
        local name = opcode_names[opcode] or string.format("Opcode 0x%02X", opcode)
        if len - at < INSTRUCTION_HEADER_LENGTH then
            local item = tree:add(vexil, tvb(at), "Instruction: " .. name .. " (truncated)")
            mark_truncated(item, "Instruction header", INSTRUCTION_HEADER_LENGTH, len - at)
            names[#names + 1] = name .. " [truncated]"
            break
        end
        local count = tvb(at + 1, 2):uint()
        local total = INSTRUCTION_HEADER_LENGTH + count
        local available = math.min(total, len - at)
        local item = tree:add(vexil, tvb(at, available), "Instruction: " .. name)
        item:add(f.opcode, tvb(at, 1))
        item:add(f.length, tvb(at + 1, 2))
        if total > len - at then
            item:append_text(" (truncated)")
            if available > INSTRUCTION_HEADER_LENGTH then
                item:add(f.data, tvb(at + INSTRUCTION_HEADER_LENGTH,
                    available - INSTRUCTION_HEADER_LENGTH))
            end
            mark_truncated(item, name, total, len - at)
            names[#names + 1] = name .. " [truncated]"
            break
        end
        local d = count > 0 and tvb(at + INSTRUCTION_HEADER_LENGTH, count) or nil
        local expected = data_lengths[opcode]
        if expected == nil then
            if d then item:add(f.data, d) end
            if opcode ~= OP_ACK then item:add_proto_expert_info(ef_unknown_opcode) end
        elseif count ~= expected then
            if d then item:add(f.data, d) end
            item:add_proto_expert_info(ef_bad_length, string.format(
                "%s carries %d data bytes, not %d: not decoded", name, count, expected))
            name = name .. " [bad length]"
        else
            add_payload(item, opcode, d)
            local wanted = opcode == OP_ACK_REQUEST and ack_requests[d(0, 1):uint()]
            if wanted then name = name .. " (" .. wanted .. ")" end
        end
        names[#names + 1] = name
        at = at + total
    end
    return names
end

-- ---- Status record ------------------------------------------------------------------
-- The board's answer to the full status query: at least 534 bytes with OP_ACK at
-- offset 22. Fields are read at absolute offsets and named as the program's report
-- names them; the record's own length field is shown but not relied on.
local link_speeds = { [0] = "Off", [1] = "10 Mbps", [2] = "100 Mbps", [3] = "1000 Mbps" }
local models = {
    [0] = "4I (4In + 1Out)", [1] = "4O (4Out)", [2] = "2D (2In + 2Out)",
    [3] = "2L (2In + 2Out with loopback)", [7] = "IP Remultiplexer",
}
local MODEL_MASK = 0x07              -- bits 2-0 of the link and model byte
local MODEL_IP_REMULTIPLEXER = 7
local mac_modes = { [0] = "QV Auto", [1] = "Manual", [2] = "Auto" }
local gateway_states = { [0] = "No gateway", [1] = "Known gateway", [2] = "Searching MAC",
    [3] = "Searching IP" }
local channel_states = { [0] = "Stopped", [1] = "Sending TS", [2] = "Searching MAC",
    [3] = "Searching Gateway" }
local trap_states = { [0] = "Off", [1] = "Sending", [2] = "Searching MAC",
    [3] = "Searching Gateway" }
local on_off = { "On", "Off" }

local S = {  -- absolute offsets
    major = 25, minor = 26, serial = 27, type = 31, config = 33, selector = 35, gpo = 37,
    ext_trap_state = 38, overflow_state = 39, link_model = 40, mac_mode = 41,
    primary_mac = 42, secondary_mac = 65, gateway_mode = 89, gateway_state = 90,
    gateway_mac = 91, gateway_ip_field = 97, net_mask_field = 113, arp = 129,
    inputs = 131, input_length = 32, ts_port_high = 259, ts_port_low = 261,
    igmp_period = 263, igmp_switch = 264, igmp_mac = 265, igmp_ip_field = 271,
    outputs = 287, output_length = 24, iic_divider = 385, iic_error = 386,
    nco = 389, ins_counter = 405, trap_mac = 407, trap_ip_field = 413, trap_mode = 431,
    trap_state = 432, ext_trap_mask = 433, overflow_trap_mask = 434, ext_trap = 435,
    overflow_trap = 436, crc_counter = 439, user_data = 441, user_data_length = 32,
    ext_self_test = 535, ext_eth_version = 536, ext_channel_versions = 537,
    ext_pcr12 = 541, ext_pcr34 = 542, ext_blocks = 543, ext_block_length = 9,
}
-- Offsets inside one input block, one output block and one extension block.
local IN = { dest_mac = 0, dest_ip_field = 6, dest_port = 22, dest_mode = 24, state = 25,
    mode2 = 26, mode1 = 27, mode0 = 28 }
local OUT = { ip_field = 0, port = 16, mode = 18 }
local OUT_AUTO_FORMAT = 0x20
local EXT = { rate = 0, flags = 3, usage = 3, size = 6 }   -- rate, usage, size: 3 bytes
local EXT_17_BITS = 0x01FFFF
local CHANNELS = 4
local MAC_LENGTH = 6
local IIC_BASE_HZ = 6250000
local IGMP_UNIT_MS = 400

f.st_major = ProtoField.uint8("vexil.status.version_major", "Version, major")
f.st_minor = ProtoField.uint8("vexil.status.version_minor", "Version, minor")
f.st_version = ProtoField.string("vexil.status.version", "Device Version")
f.st_serial = ProtoField.int32("vexil.status.serial", "Device Serial")
f.st_type = ProtoField.uint16("vexil.status.type", "Device Type")
f.st_config = ProtoField.uint16("vexil.status.config_word", "Configuration Word", base.HEX)
f.st_locked = ProtoField.bool("vexil.status.locked", "Device", 16, { "Locked", "Unlocked" }, 0x0100)
f.st_replace = ProtoField.bool("vexil.status.replace_compat", "QV-Net Replace compatibility", 16, on_off, 0x0001)
f.st_other = ProtoField.bool("vexil.status.other_compat", "QV-Net Other compatibility", 16, on_off, 0x0002)
f.st_irq = ProtoField.bool("vexil.status.sdi_irq_palvox", "SDI IRQ Type", 16, { "Palvox", "QV-Net" }, 0x0200)
f.st_selector = ProtoField.uint16("vexil.status.selector", "Selector", base.HEX)
f.st_gpo = ProtoField.uint8("vexil.status.gpo", "GPO", base.HEX)
f.st_ext_trap_state = ProtoField.uint8("vexil.status.external_trap_state", "External Trap State", base.HEX)
f.st_overflow_state = ProtoField.uint8("vexil.status.overflow_state", "Overflow State", base.HEX)
f.st_link = ProtoField.uint8("vexil.status.link", "Link", base.DEC, link_speeds, 0xC0)
f.st_model = ProtoField.uint8("vexil.status.model", "Model", base.DEC, models, MODEL_MASK)
f.st_mac_mode = ProtoField.uint8("vexil.status.mac_mode", "MAC Mode", base.DEC, mac_modes)
f.st_primary_mac = ProtoField.ether("vexil.status.primary_mac", "Primary MAC")
f.st_secondary_mac = ProtoField.ether("vexil.status.secondary_mac", "Secondary MAC")
f.st_gateway_mode = ProtoField.uint8("vexil.status.gateway_mode", "GatewayMode", base.DEC, gateway_modes)
f.st_gateway_state = ProtoField.uint8("vexil.status.gateway_state", "GatewayState", base.DEC, gateway_states)
f.st_gateway_mac = ProtoField.ether("vexil.status.gateway_mac", "Gateway MAC")
f.st_gateway_ip = ProtoField.ipv4("vexil.status.gateway_ip", "Gateway IP")
f.st_net_mask = ProtoField.ipv4("vexil.status.net_mask", "NetMask")
f.st_arp = ProtoField.uint8("vexil.status.arp_period", "ARP Adv. Time (sec)")

f.in_dest_mac = ProtoField.ether("vexil.status.in.dest_mac", "Dest. MAC")
f.in_dest_ip = ProtoField.ipv4("vexil.status.in.dest_ip", "Dest. IP")
f.in_dest_port = ProtoField.uint16("vexil.status.in.dest_port", "Dest. Port")
f.in_dest_mode = ProtoField.uint8("vexil.status.in.dest_mode", "Dest. Mode", base.DEC, dest_modes)
f.in_state = ProtoField.uint8("vexil.status.in.state", "State", base.DEC, channel_states)
f.in_mode2 = ProtoField.uint8("vexil.status.in.mode2", "Mode[2]", base.HEX)
f.in_dv_pin = ProtoField.bool("vexil.status.in.dv_pin", "DV pin", 8, { "Enabled", "Disabled" }, 0x01)
f.in_iptv = ProtoField.bool("vexil.status.in.iptv", "Format", 8, { "IPTV", "QV-Net" }, 0x02)
f.in_always = ProtoField.bool("vexil.status.in.always_send", "Always Send TS", 8, nil, 0x04)
f.in_mode1 = ProtoField.uint8("vexil.status.in.mode1", "Mode[1]", base.HEX)
f.in_packet_number = ProtoField.uint8("vexil.status.in.packet_number", "Packet Number", base.DEC, nil, 0xE0)
f.in_null_remover = ProtoField.bool("vexil.status.in.null_remover", "Null Packet Remover", 8, on_off, 0x02)
f.in_packet_204 = ProtoField.bool("vexil.status.in.packet_204", "IPTV Format", 8, { "204 byte", "188 byte" }, 0x01)
f.in_mode0 = ProtoField.uint8("vexil.status.in.mode0", "Mode[0]", base.HEX)
f.in_qvnet_size = ProtoField.uint16("vexil.status.in.qvnet_size", "QV-Net Format (Size)")

f.st_ts_port_high = ProtoField.uint16("vexil.status.ts_port_high", "TS Port High")
f.st_ts_port_low = ProtoField.uint16("vexil.status.ts_port_low", "TS Port Low")
f.st_igmp_period = ProtoField.uint8("vexil.status.igmp_period", "IGMP Report Period (x 400 ms)")
f.st_igmp_switch = ProtoField.uint8("vexil.status.igmp_switch", "IGMP Switch")
f.st_igmp_mac = ProtoField.ether("vexil.status.igmp_switch_mac", "IGMP Switch MAC")
f.st_igmp_ip = ProtoField.ipv4("vexil.status.igmp_switch_ip", "IGMP Switch IP")

f.out_ip = ProtoField.ipv4("vexil.status.out.multicast_ip", "Multicast IP")
f.out_port = ProtoField.uint16("vexil.status.out.receive_port", "Receive Port")
f.out_mode = ProtoField.uint8("vexil.status.out.mode", "Mode", base.HEX)
f.out_enabled = ProtoField.bool("vexil.status.out.enabled", "Channel", 8, { "Enabled", "Disabled" }, 0x80)
f.out_multicast = ProtoField.bool("vexil.status.out.multicast", "TS", 8, { "Multicast TS", "Simple TS" }, 0x40)
f.out_auto = ProtoField.bool("vexil.status.out.auto_format", "Format", 8, { "Auto", "Manual" }, 0x20)
f.out_204 = ProtoField.bool("vexil.status.out.packet_204", "Manual Format", 8, { "204 byte", "188 byte" }, 0x10)
f.out_dv_pin = ProtoField.bool("vexil.status.out.dv_pin", "DV pin", 8,
    { "Enabled (countinuous TS clock)", "Disabled (gated TS clock)" }, 0x08)
f.out_null_inserter = ProtoField.bool("vexil.status.out.null_inserter", "Null Packet Inserter", 8, on_off, 0x04)
f.out_error_remover = ProtoField.bool("vexil.status.out.error_remover", "TSP Error Remover", 8, on_off, 0x02)
f.out_null_remover = ProtoField.bool("vexil.status.out.null_remover", "Null Packet Remover", 8, on_off, 0x01)

f.st_iic_divider = ProtoField.uint8("vexil.status.iic_divider", "FrqDiv")
f.st_iic_frequency = ProtoField.uint32("vexil.status.iic_frequency", "IIC frequency (Hz)")
f.st_iic_error = ProtoField.uint8("vexil.status.iic_error", "IIC Error", base.HEX)
f.st_nco = ProtoField.int32("vexil.status.nco_frequency", "NCO frequency (Hz)")
f.st_ins_counter = ProtoField.uint16("vexil.status.ins_packet_counter", "Ins. Packet Counter")
f.st_trap_mode = ProtoField.uint8("vexil.status.trap.mode", "Mode", base.HEX)
f.st_trap_enabled = ProtoField.bool("vexil.status.trap.enabled", "Trap", 8, { "Enabled", "Disabled" }, 0x80)
f.st_trap_snmp = ProtoField.bool("vexil.status.trap.snmp", "Type", 8, { "SNMP type", "UDP type" }, 0x40)
f.st_trap_state = ProtoField.uint8("vexil.status.trap.state", "State", base.DEC, trap_states)
f.st_ext_trap_mask = ProtoField.uint8("vexil.status.trap.external_mask", "External Trap Mask", base.HEX)
f.st_overflow_trap_mask = ProtoField.uint8("vexil.status.trap.overflow_mask", "Overflow Trap Mask", base.HEX)
f.st_ext_trap = ProtoField.uint8("vexil.status.trap.external", "External Trap", base.HEX)
f.st_overflow_trap = ProtoField.uint8("vexil.status.trap.overflow", "Overflow Trap", base.HEX)
f.st_trap_mac = ProtoField.ether("vexil.status.trap.mac", "Trap MAC")
f.st_trap_ip = ProtoField.ipv4("vexil.status.trap.ip", "Trap IP")
f.st_crc_counter = ProtoField.uint16("vexil.status.crc_error_counter", "CRC Error Counter")
f.st_user_data = ProtoField.bytes("vexil.status.user_data", "UserData")

f.ext_self_test = ProtoField.uint8("vexil.status.ext.self_test", "SelfTest", base.HEX)
f.ext_eth_version = ProtoField.uint8("vexil.status.ext.ethernet_version", "Ethernet Controller & PID Filter version")
f.ext_channel_version = ProtoField.uint8("vexil.status.ext.channel_version", "Channel version")
f.ext_pcr12 = ProtoField.uint8("vexil.status.ext.pcr12_version", "PCR Corrector 1-2 version")
f.ext_pcr34 = ProtoField.uint8("vexil.status.ext.pcr34_version", "PCR Corrector 3-4 version")
f.ext_rate = ProtoField.uint24("vexil.status.ext.input_rate", "Input stream (packets/sec)", base.DEC, nil, 0x0FFFFF)
f.ext_flags = ProtoField.uint8("vexil.status.ext.flags", "Flags", base.HEX)
f.ext_led = ProtoField.bool("vexil.status.ext.overflow_led", "Overflow LED", 8, on_off, 0x02)
f.ext_overflowed = ProtoField.bool("vexil.status.ext.overflow_after_reset", "Overflow after reset", 8, { "Yes", "No" }, 0x04)
f.ext_usage = ProtoField.uint24("vexil.status.ext.sdram_usage", "SDRAM usage (packets)", base.DEC, nil, 0x01FFFF)
f.ext_size = ProtoField.uint32("vexil.status.ext.sdram_size", "SDRAM size (packets)")
f.ext_percent = ProtoField.uint32("vexil.status.ext.percent_used", "SDRAM used (%)")

local function add_input_channel(tree, tvb, n)
    local b = S.inputs + S.input_length * (n - 1)
    local t = tree:add(vexil, tvb(b, S.input_length), "TS Input Channel " .. n)
    t:add(f.in_dest_mac, tvb(b + IN.dest_mac, MAC_LENGTH))
    t:add(f.in_dest_ip, tvb(b + IN.dest_ip_field + ADDRESS_FIELD_IP, 4))
    t:add(f.in_dest_port, tvb(b + IN.dest_port, 2))
    t:add(f.in_dest_mode, tvb(b + IN.dest_mode, 1))
    t:add(f.in_state, tvb(b + IN.state, 1))
    local mode2 = tvb(b + IN.mode2, 1)
    local m2 = t:add(f.in_mode2, mode2)
    m2:add(f.in_dv_pin, mode2)
    m2:add(f.in_iptv, mode2)
    m2:add(f.in_always, mode2)
    local mode1 = tvb(b + IN.mode1, 1)
    local m1 = t:add(f.in_mode1, mode1)
    t:add(f.in_mode0, tvb(b + IN.mode0, 1))
    if bit32.band(mode2:uint(), MODE2_IPTV) ~= 0 then
        m1:add(f.in_packet_204, mode1)
        m1:add(f.in_packet_number, mode1)
        m1:add(f.in_null_remover, mode1)
    else
        t:add(f.in_qvnet_size, tvb(b + IN.mode1, 2))
    end
end

local function add_output_channel(tree, tvb, n)
    local b = S.outputs + S.output_length * (n - 1)
    local t = tree:add(vexil, tvb(b, S.output_length), "TS Output Channel " .. n)
    t:add(f.out_ip, tvb(b + OUT.ip_field + ADDRESS_FIELD_IP, 4))
    t:add(f.out_port, tvb(b + OUT.port, 2))
    local r = tvb(b + OUT.mode, 1)
    local m = t:add(f.out_mode, r)
    m:add(f.out_enabled, r)
    m:add(f.out_multicast, r)
    m:add(f.out_auto, r)
    -- The packet size only counts in manual format.
    if bit32.band(r:uint(), OUT_AUTO_FORMAT) == 0 then m:add(f.out_204, r) end
    m:add(f.out_dv_pin, r)
    m:add(f.out_null_inserter, r)
    m:add(f.out_error_remover, r)
    m:add(f.out_null_remover, r)
end

local function add_ports_and_igmp(tree, tvb)
    tree:add(f.st_ts_port_high, tvb(S.ts_port_high, 2))
    tree:add(f.st_ts_port_low, tvb(S.ts_port_low, 2))
    local period = tvb(S.igmp_period, 1):uint()
    tree:add(f.st_igmp_period, tvb(S.igmp_period, 1)):append_text(period ~= 0
        and string.format(" (%d ms)", period * IGMP_UNIT_MS) or " (Auto IGMP Report: off)")
    local present = tvb(S.igmp_switch, 1):uint() ~= 0
    local sw = tree:add(f.st_igmp_switch, tvb(S.igmp_switch, 1))
    sw:append_text(present and " (present)" or " (unknown)")
    if present then
        sw:add(f.st_igmp_mac, tvb(S.igmp_mac, MAC_LENGTH))
        sw:add(f.st_igmp_ip, tvb(S.igmp_ip_field + ADDRESS_FIELD_IP, 4))
    end
end

local function add_peripherals(tree, tvb)
    local iic = tree:add(vexil, tvb(S.iic_divider, 2), "IIC port")
    local divider = tvb(S.iic_divider, 1):uint()
    iic:add(f.st_iic_divider, tvb(S.iic_divider, 1))
    iic:add(f.st_iic_frequency, tvb(S.iic_divider, 1), math.floor(IIC_BASE_HZ / (divider + 1)))
        :set_generated()
    iic:add(f.st_iic_error, tvb(S.iic_error, 1))

    local nco = tree:add(vexil, tvb(S.nco, 4 * CHANNELS), "NCO frequency")
    for n = 1, CHANNELS do
        local r = tvb(S.nco + 4 * (n - 1), 4)
        nco:add(f.st_nco, r):set_text(string.format("Channel %d: %d Hz", n, r:int()))
    end
    tree:add(f.st_ins_counter, tvb(S.ins_counter, 2))

    local trap = tree:add(vexil, tvb(S.trap_mac, S.overflow_trap + 1 - S.trap_mac), "Trap Function")
    local mode = trap:add(f.st_trap_mode, tvb(S.trap_mode, 1))
    mode:add(f.st_trap_enabled, tvb(S.trap_mode, 1))
    mode:add(f.st_trap_snmp, tvb(S.trap_mode, 1))
    trap:add(f.st_trap_state, tvb(S.trap_state, 1))
    trap:add(f.st_ext_trap_mask, tvb(S.ext_trap_mask, 1))
    trap:add(f.st_overflow_trap_mask, tvb(S.overflow_trap_mask, 1))
    trap:add(f.st_ext_trap, tvb(S.ext_trap, 1))
    trap:add(f.st_overflow_trap, tvb(S.overflow_trap, 1))
    trap:add(f.st_trap_mac, tvb(S.trap_mac, MAC_LENGTH))
    trap:add(f.st_trap_ip, tvb(S.trap_ip_field + ADDRESS_FIELD_IP, 4))
    tree:add(f.st_crc_counter, tvb(S.crc_counter, 2))
    tree:add(f.st_user_data, tvb(S.user_data, S.user_data_length))
end

-- Versions read "V3", as in the report.
local function add_version(tree, field, range, label)
    local item = tree:add(field, range)
    item:set_text(string.format("%s: V%d", label, range:uint()))
end

local function add_extension(tree, tvb)
    local ext = tree:add(vexil, tvb(S.ext_self_test - 1), "IP REMULTIPLEXER EXTENSION")
    ext:add(f.ext_self_test, tvb(S.ext_self_test, 1))
    add_version(ext, f.ext_eth_version, tvb(S.ext_eth_version, 1),
        "Ethernet Controller & PID Filter version")
    for n = 1, CHANNELS do
        add_version(ext, f.ext_channel_version, tvb(S.ext_channel_versions + n - 1, 1),
            string.format("Channel %d version", n))
    end
    add_version(ext, f.ext_pcr12, tvb(S.ext_pcr12, 1), "PCR Corrector 1-2 version")
    add_version(ext, f.ext_pcr34, tvb(S.ext_pcr34, 1), "PCR Corrector 3-4 version")
    for n = 1, CHANNELS do
        local b = S.ext_blocks + S.ext_block_length * (n - 1)
        local t = ext:add(vexil, tvb(b, S.ext_block_length), "Channel " .. n)
        t:add(f.ext_rate, tvb(b + EXT.rate, 3))
        local flags = tvb(b + EXT.flags, 1)
        local flags_item = t:add(f.ext_flags, flags)
        flags_item:add(f.ext_led, flags)
        flags_item:add(f.ext_overflowed, flags)
        -- Usage: bit 0 of the flags byte is its bit 16. Size: 17 bits holding size - 1,
        -- so it is never 0.
        local usage = bit32.band(tvb(b + EXT.usage, 3):uint(), EXT_17_BITS)
        local size = bit32.band(tvb(b + EXT.size, 3):uint(), EXT_17_BITS) + 1
        t:add(f.ext_size, tvb(b + EXT.size, 3), size)
        t:add(f.ext_usage, tvb(b + EXT.usage, 3))
        -- Usage can exceed the size; the percentage is shown as it comes.
        t:add(f.ext_percent, math.floor(usage * 100 / size)):set_generated()
    end
end

local function dissect_status_record(tvb, pinfo, tree)
    local len = tvb:len()
    local record = tree:add(vexil, tvb(ANSWER_OPCODE_OFFSET), "Instruction: ACK (status record)")
    record:add(f.opcode, tvb(ANSWER_OPCODE_OFFSET, 1))
    record:add(f.length, tvb(ANSWER_OPCODE_OFFSET + 1, 2))

    local version = version_text(tvb(S.major, 1):uint(), tvb(S.minor, 1):uint())
    record:add(f.st_major, tvb(S.major, 1))
    record:add(f.st_minor, tvb(S.minor, 1))
    record:add(f.st_version, version):set_generated()
    record:add(f.st_serial, tvb(S.serial, 4))
    record:add(f.st_type, tvb(S.type, 2))
    local config = record:add(f.st_config, tvb(S.config, 2))
    for _, field in ipairs({ f.st_locked, f.st_replace, f.st_other, f.st_irq }) do
        config:add(field, tvb(S.config, 2))
    end
    record:add(f.st_selector, tvb(S.selector, 2))
    record:add(f.st_gpo, tvb(S.gpo, 1))
    record:add(f.st_ext_trap_state, tvb(S.ext_trap_state, 1))
    record:add(f.st_overflow_state, tvb(S.overflow_state, 1))
    record:add(f.st_link, tvb(S.link_model, 1))
    record:add(f.st_model, tvb(S.link_model, 1))
    local model = bit32.band(tvb(S.link_model, 1):uint(), MODEL_MASK)
    record:add(f.st_mac_mode, tvb(S.mac_mode, 1))
    record:add(f.st_primary_mac, tvb(S.primary_mac, MAC_LENGTH))
    record:add(f.st_secondary_mac, tvb(S.secondary_mac, MAC_LENGTH))
    record:add(f.st_gateway_mode, tvb(S.gateway_mode, 1))
    record:add(f.st_gateway_state, tvb(S.gateway_state, 1))
    record:add(f.st_gateway_mac, tvb(S.gateway_mac, MAC_LENGTH))
    record:add(f.st_gateway_ip, tvb(S.gateway_ip_field + ADDRESS_FIELD_IP, 4))
    record:add(f.st_net_mask, tvb(S.net_mask_field + ADDRESS_FIELD_IP, 4))
    local arp = tvb(S.arp, 1):uint()
    local arp_item = record:add(f.st_arp, tvb(S.arp, 1))
    if arp == 0 then arp_item:append_text(" (ARP Advertisement: off)") end

    for n = 1, CHANNELS do add_input_channel(record, tvb, n) end
    add_ports_and_igmp(record, tvb)
    for n = 1, CHANNELS do add_output_channel(record, tvb, n) end
    add_peripherals(record, tvb)
    if model == MODEL_IP_REMULTIPLEXER then
        if len >= EXTENSION_MIN_LENGTH then
            add_extension(record, tvb)
        else
            record:add_proto_expert_info(ef_no_extension)
        end
    end
    pinfo.cols.info:set(string.format("Palvox status record (%d bytes): type %d, serial %d, v%s",
        len, tvb(S.type, 2):uint(), tvb(S.serial, 4):int(), version))
end

-- ---- Palvox frames ------------------------------------------------------------------
local function dissect_palvox(tvb, pinfo, tree)
    local len = tvb:len()
    tree:add(f.magic, tvb(0, MAGIC_LENGTH))
    if len < HEADER_LENGTH then
        if len > USER_TEXT_OFFSET then
            tree:add(f.user_text, tvb(USER_TEXT_OFFSET, math.min(USER_TEXT_LENGTH, len - USER_TEXT_OFFSET)))
        end
        tree:add(f.message, "Palvox frame, header truncated"):set_generated()
        mark_truncated(tree, "Palvox header", HEADER_LENGTH, len)
        pinfo.cols.info:set(string.format("Palvox, malformed (%d bytes)", len))
        return
    end
    tree:add(f.user_text, tvb(USER_TEXT_OFFSET, USER_TEXT_LENGTH))
    tree:add(f.flags, tvb(FLAGS_OFFSET, 1))

    local is_answer = len > ANSWER_OPCODE_OFFSET and tvb(ANSWER_OPCODE_OFFSET, 1):uint() == OP_ACK
    if is_answer and len >= STATUS_MIN_LENGTH then
        tree:add(f.message, "Palvox status record"):set_generated()
        dissect_status_record(tvb, pinfo, tree)
        return
    end
    if is_answer and len == SHORT_ANSWER_LENGTH then
        -- The short answer is the board's acknowledgement; its content is the board's own.
        tree:add(f.message, "Palvox short answer (ACK)"):set_generated()
        local item = tree:add(vexil, tvb(ANSWER_OPCODE_OFFSET), "Instruction: ACK")
        item:add(f.opcode, tvb(ANSWER_OPCODE_OFFSET, 1))
        item:add(f.length, tvb(ANSWER_OPCODE_OFFSET + 1, 2))
        item:add(f.ack_data, tvb(ANSWER_OPCODE_OFFSET + INSTRUCTION_HEADER_LENGTH))
        pinfo.cols.info:set("Palvox short answer (ACK)")
        return
    end
    tree:add(f.message, is_answer and "Palvox answer" or "Palvox request"):set_generated()
    local names = dissect_instructions(tvb, tree)
    local summary = #names > 0 and table.concat(names, ", ") or "header only"
    pinfo.cols.info:set((is_answer and "Palvox answer: " or "Palvox: ") .. summary)
end

-- ---- Dissector ----------------------------------------------------------------------
function vexil.dissector(tvb, pinfo, root)
    local len = tvb:len()
    if len == 0 then return 0 end
    pinfo.cols.protocol:set("Vexil")
    local tree = root:add(vexil, tvb())
    if starts_with(tvb, QVNET_MAGIC) then
        dissect_qvnet(tvb, pinfo, tree)
    elseif starts_with(tvb, PALVOX_MAGIC) then
        dissect_palvox(tvb, pinfo, tree)
    else
        tree:add(f.message, "Unrecognised datagram"):set_generated()
        tree:add_proto_expert_info(ef_not_vexil)
        pinfo.cols.info:set(string.format("Unrecognised datagram (%d bytes)", len))
    end
    return len
end

local registered_port = 0
local function register_port(port)
    local udp = DissectorTable.get("udp.port")
    if registered_port ~= 0 then udp:remove(registered_port, vexil) end
    registered_port = port
    if port ~= 0 then udp:add(port, vexil) end
end

function vexil.prefs_changed()
    if vexil.prefs.udp_port ~= registered_port then register_port(vexil.prefs.udp_port) end
end

register_port(DEFAULT_PORT)
DissectorTable.get("udp.port"):add_for_decode_as(vexil)

