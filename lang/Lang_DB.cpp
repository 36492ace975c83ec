// The caption table. It carries the captions of a larger instrument
// configuration program too (menus, dialogs, parameter names); they answer
// lookups like any other row.
//
// Every Chinese text also fits the legacy code pages (Big5 for Traditional,
// GB2312 for Simplified), so each has a character in those sets; the rows
// below 900000 fit them in 28 bytes, as the device's other tools need.
// "__X" marks the keyboard mnemonic X; Chinese captions carry it in
// parentheses beside the words.
#include "lang/Lang_DB.h"

#include <algorithm>
#include <cstring>

#include "platform/ui.h"

const LangS gcaLangS[] = {
    // General captions
    {101, {"Configuration", "組態", "组态"}},
    {102, {"Setting", "設定", "设定"}},
    {103, {"Calibration", "校正", "校正"}},
    {111, {"__Read From Device", "從裝置讀出(__R)", "从设备读出(__R)"}},
    {112, {"__Write To Device", "寫入裝置(__W)", "写入设备(__W)"}},
    {115, {"Unit", "單位", "单位"}},
    {121, {"Input", "輸入", "输入"}},
    {122, {"Output", "輸出", "输出"}},
    {123, {"Input Calibration", "輸入校正", "输入校正"}},
    {124, {"Output Calibration", "輸出校正", "输出校正"}},
    {151, {"Measurement", "量測", "测量"}},
    {152, {"Type", "類型", "类型"}},
    {154, {"__Start", "(__S) 開始", "(__S) 开始"}},
    {155, {"Stop", "停止", "停止"}},
    {201, {"Item", "項目", "项目"}},
    // Device information, messages, dialog titles
    {301, {"Device Information", "裝置資訊", "设备信息"}},
    {302, {"Product", "產品", "产品"}},
    {303, {"HW Model", "硬體型號", "硬件型号"}},
    {304, {"FW Version", "韌體版本", "固件版本"}},
    {305, {"Serial No.", "序號", "序列号"}},
    {306, {"Parameter Out of Range", "參數超出範圍", "参数超出范围"}},
    {307, {"Communication Setting", "通訊設定", "通讯设定"}},
    {308, {"Baud Rate Setting", "鮑率設定", "鲍率设定"}},
    // Status words of a read or write
    {701, {"Reading", "讀取中", "读取中"}},
    {702, {"Read OK", "讀取成功", "读取成功"}},
    {703, {"Read NG", "讀取失敗", "读取失败"}},
    {704, {"Writing", "寫入中", "写入中"}},
    {705, {"Write OK", "寫入成功", "写入成功"}},
    {706, {"Write NG", "寫入失敗", "写入失败"}},
    // Parameter labels
    {2201, {"Communication", "通訊", "通讯"}},
    {2202, {"ID", "站號", "站号"}},
    {2203, {"Baud Rate", "鮑率", "鲍率"}},
    {2302, {"Offset Correction", "偏移修正", "偏移修正"}},
    {2303, {"Measuring Value", "量測值", "测量值"}},
    {2503, {"Fault Signal on Sensor Break", "開路限制", "开路限制"}},
    {2504, {"Output Direction", "輸出方向", "输出方向"}},
    // Serial line
    {5011, {"COM Port", "串列埠", "串口"}},
    {5012, {"Baud Rate", "鮑率", "鲍率"}},
    {5013, {"Parity Bit", "同位元", "同位元"}},
    {5014, {"Data Bit", "資料位元", "资料位元"}},
    {5015, {"Stop Bit", "停止位元", "停止位元"}},
    {5022, {"Search Available COM Port", "搜尋現有串列埠", "搜寻现有串口"}},
    {5023, {"Serial Port", "串列埠", "串口"}},
    {5024, {"Device", "裝置", "设备"}},
    // Menus: File, Language, Scan, Help, Tool, Option
    {50100, {"__File", "檔案(__F)", "文件(__F)"}},
    {50101, {"E__xit", "結束(__X)", "退出(__X)"}},
    {50102, {"__debug", "除錯(__D)", "调试(__D)"}},
    {50103, {"__Open log", "開啟記錄(__O)", "打开日志(__O)"}},
    {50104, {"__Clear log", "清除記錄(__C)", "清除日志(__C)"}},
    {50105, {"__log", "記錄(__L)", "日志(__L)"}},
    {50106, {"__Enable PV log", "啟用PV記錄(__E)", "启用PV日志(__E)"}},
    {50107, {"Open PV log", "開啟PV記錄", "打开PV日志"}},
    {50200, {"__Language", "語言(__L)", "语言(__L)"}},
    {50201, {"__English", "英文(__E)", "英文(__E)"}},
    {50202, {"__Traditional Chinese", "繁體中文(__T)", "繁体中文(__T)"}},
    {50203, {"__Simplified Chinese", "簡體中文(__S)", "简体中文(__S)"}},
    {50300, {"__Scan", "掃描(__S)", "扫描(__S)"}},
    {50301, {"__Start Scan", "開始掃描(__S)", "开始扫描(__S)"}},
    {50400, {"__Help", "說明(__H)", "帮助(__H)"}},
    {50401, {"__Content", "內容(__C)", "内容(__C)"}},
    {50501, {"__Tool", "工具(__T)", "工具(__T)"}},
    {50502, {"__Communication", "通訊(__C)", "通讯(__C)"}},
    {50503, {"Read Parameter", "讀取參數", "读取参数"}},
    {50504, {"Read PV", "讀取PV", "读取PV"}},
    {50505, {"Read PV ( Start )", "讀取PV ( 開始 )", "读取PV ( 开始 )"}},
    {50506, {"Read PV ( Stop )", "讀取PV ( 停止 )", "读取PV ( 停止 )"}},
    {50601, {"__Option", "選項(__O)", "选项(__O)"}},
    {50602, {"__Setting", "設定(__S)", "设定(__S)"}},
    {50603, {"__Device Map", "裝置對應表(__D)", "设备映射表(__D)"}},
    {50604, {"__Parameter", "參數(__P)", "参数(__P)"}},
    {50605, {"__Save to file", "存檔(__S)", "保存到文件(__S)"}},
    {50606, {"__Open from file", "開啟檔案(__O)", "从文件打开(__O)"}},
    // Instrument parameters
    {68001, {"Decimal Point", "小數點", "小数点"}},
    {68002, {"Filter", "濾波", "滤波"}},
    {68003, {"Measuring Range", "量測範圍", "测量范围"}},
    {68004, {"Lower Limit", "下限", "下限"}},
    {68005, {"Upper Limit", "上限", "上限"}},
    {68006, {"Maximum Measuring Range", "最大量測範圍", "最大测量范围"}},
    {68007, {"0/4~20mA Output Calibration", "0/4~20mA 輸出校正", "0/4~20mA 输出校正"}},
    {68008, {"Alarm 1", "警報 1", "报警 1"}},
    {68009, {"Alarm 2", "警報 2", "报警 2"}},
    {68010, {"Function", "功能", "功能"}},
    {68011, {"Set Point", "設定值", "设定值"}},
    {68012, {"Hysterisis", "遲滯", "回差"}},
    {68013, {"Display Digit", "顯示位數", "显示位数"}},
    {68014, {"Alarm Amount", "警報數量", "报警数量"}},
    {68015, {"Mode", "模式", "模式"}},
    {68016, {"Set", "設定", "设定"}},
    {68017, {"Linear", "線性", "线性"}},
    {68018, {"Cut", "開路限制", "开路限制"}},
    // Temperature-control configuration program
    {331001, {"Temperature Control System", "溫度控制系統", "温度控制系统"}},
    {331002, {"__Read", "讀出(__R)", "读出(__R)"}},
    {331003, {"User", "使用者", "使用者"}},
    {331004, {"Administrator", "管理者", "管理员"}},
    {331005, {"PV Read interval ( s )", "PV 讀取間隔 ( 秒 )", "PV 读取间隔 ( 秒 )"}},
    {331006, {"Main Board / Extended Board", "(M)主板 / (E)擴充板", "(M)主板 / (E)扩充板"}},
    {331007, {"Modbus \"Write\" Function Code", "Modbus「寫入」功能碼", "Modbus“写入”功能码"}},
    {331008, {"0x05 Write RAM", "0x05 寫入 RAM", "0x05 写入 RAM"}},
    {331009, {"0x06 Write RAM and EEPROM", "0x06 寫入 RAM 及 EEPROM", "0x06 写入 RAM 及 EEPROM"}},
    {331010, {"Enter Password", "輸入密碼", "输入密码"}},
    {331011, {"Window Title", "視窗標題", "窗口标题"}},
    {331012, {"Page.1", "第1頁", "第1页"}},
    {331013, {"Page.2", "第2頁", "第2页"}},
    {331014, {"Page.3", "第3頁", "第3页"}},
    {331015, {"Password", "密碼", "密码"}},
    {331016, {"New Password", "新密碼", "新密码"}},
    {331017, {"Confirm Password", "確認密碼", "确认密码"}},
    {331018, {"Device Map", "裝置對應表", "设备映射表"}},
    {331019, {"Main Board / Extended Board", "主板 / 擴充板", "主板 / 扩充板"}},
    {331020, {"__Generate", "產生(__G)", "生成(__G)"}},
    {331021, {"Channel", "通道 ", "通道 "}},
    {331022, {"CH -- ( Previous )", "CH -- ( 上一個 )", "CH -- ( 上一个 )"}},
    {331023, {"CH ++ ( Next )", "CH ++ ( 下一個 )", "CH ++ ( 下一个 )"}},
    {331024, {"__Controller", "控制器(__C)", "控制器(__C)"}},
    {331025, {"__Specific", "特定(__S)", "特定(__S)"}},
    {331026, {"Flag.Channel", "旗標.通道", "标志.通道"}},
    {331027, {"Flag.Alarm", "旗標.警報", "标志.报警"}},
    {331028, {"Select", "選擇", "选择"}},
    {331029, {"Read", "讀", "读"}},
    {331030, {"Write", "寫", "写"}},
    {331031, {"__Write Select", "寫入選擇(__W)", "写入选择(__W)"}},
    {331032, {"Page", "頁", "页"}},
    {331033, {"Name", "名稱", "名称"}},
    {331034, {"Alias", "別名", "别名"}},
    {331035, {"Write Mode", "寫入模式", "写入模式"}},
    {331036, {"to RAM", "寫至 RAM", "写到 RAM"}},
    {331037, {"Auto to EEPROM", "自動寫至 EEPROM", "自动写到 EEPROM"}},
    {331038, {"Manual to EEPROM", "手動寫至 EEPROM", "手动写到 EEPROM"}},
    {331039, {"Troom", "室溫", "室温"}},
    {331040, {"PID Input", "PID 輸入", "PID 输入"}},
    {331041, {"PID Output", "PID 輸出", "PID 输出"}},
    {331042, {"__6 Calibrate", "(__6) 校正", "(__6) 校正"}},
    {331043, {"__1 USER", "(__1) 使用者", "(__1) 使用者"}},
    {331044, {"__3 OPTI", "(__3) 選項", "(__3) 选项"}},
    {331045, {"__4 OUTL", "(__4) 輸出限制", "(__4) 输出限制"}},
    {331046, {"__5 PROG", "(__5) 程式", "(__5) 程序"}},
    {331047, {"__7 Alarm", "(__7) 警報", "(__7) 报警"}},
    {331048, {"__8 Read Only", "(__8) 唯讀", "(__8) 只读"}},
    {331049, {"__Test", "測試(__T)", "测试(__T)"}},
    // This program's own texts. Captions and accessible names of the panel
    {900000, {"Serial line", "串列通訊", "串口通讯"}},
    {900001, {"Device baud rates", "裝置鮑率", "设备鲍率"}},
    {900002, {"Slave ID", "站號", "站号"}},
    {900003, {"Port open", "開啟串列埠", "打开串口"}},
    {900004, {"Test read", "測試讀取", "测试读取"}},
    {900005, {"Find device", "尋找裝置", "寻找设备"}},
    {900006, {"Cancel", "取消", "取消"}},
    {900007, {"Status", "狀態", "状态"}},
    {900008, {"Examples", "範例", "示例"}},
    {900009, {"Worked examples", "操作範例", "操作示例"}},
    {900010, {"Device frame", "裝置通訊格式", "设备通讯格式"}},
    {900011, {"L__og", "記錄(__O)", "日志(__O)"}},
    {900012, {"None", "無", "无"}},
    {900013, {"Odd", "奇同位", "奇同位"}},
    {900014, {"Even", "偶同位", "偶同位"}},
    {900015, {"Mark", "標記同位", "标记同位"}},
    {900016, {"Space", "空白同位", "空白同位"}},
    {900017, {"COM port list", "串列埠清單", "串口列表"}},
    {900018, {"Find progress", "尋找進度", "寻找进度"}},
    {900019, {"Yes", "是", "是"}},
    {900020, {"No", "否", "否"}},
    // Tooltips, read out as descriptions
    {900030, {"Serial ports found on this computer: double-click one to open it",
              "本電腦上找到的串列埠：按兩下即可開啟", "本电脑上找到的串口：双击即可打开"}},
    {900031, {"List the serial ports that are present and free", "列出現有且可用的串列埠",
              "列出现有且可用的串口"}},
    {900032, {"COM port number, 1 to 256; Enter opens it", "串列埠號碼，1 到 256；按 Enter 開啟",
              "串口号码，1 到 256；按 Enter 打开"}},
    {900033, {"Modbus slave ID of the device, 1 to 255", "裝置的 Modbus 站號，1 到 255",
              "设备的 Modbus 站号，1 到 255"}},
    {900034, {"Open or close the serial port", "開啟或關閉串列埠", "打开或关闭串口"}},
    {900035, {"Read holding register 0 of the device", "讀取裝置的保持暫存器 0", "读取设备的保持寄存器 0"}},
    {900036, {"Try the line settings and slave IDs on this COM port until the device answers (Ctrl+F)",
              "在此串列埠上逐一嘗試通訊設定與站號，直到裝置回應 (Ctrl+F)",
              "在此串口上逐一尝试通讯设定与站号，直到设备回应 (Ctrl+F)"}},
    {900037, {"BR1, register 0x1101", "BR1，暫存器 0x1101", "BR1，寄存器 0x1101"}},
    {900038, {"BR2, register 0x1102", "BR2，暫存器 0x1102", "BR2，寄存器 0x1102"}},
    {900039, {"Read BR1 and BR2 from the device", "從裝置讀取 BR1 與 BR2", "从设备读取 BR1 与 BR2"}},
    {900040, {"Write BR1 and BR2, then store them in the device's EEPROM",
              "寫入 BR1 與 BR2，再存入裝置的 EEPROM", "写入 BR1 与 BR2，再存入设备的 EEPROM"}},
    {900041, {"Stop the search (Esc)", "停止尋找 (Esc)", "停止寻找 (Esc)"}},
    {900042, {"Show or hide the worked examples", "顯示或隱藏操作範例", "显示或隐藏操作示例"}},
    // Status texts (printf formats: each language takes the English one's
    // arguments in the same order, and may leave out trailing ones)
    {900060, {"Write NG : %s unknown, pick a value", "寫入失敗 : %s 未知，請選擇數值",
              "写入失败 : %s 未知，请选择数值"}},
    {900061, {"%s lost: %s", "%s 已中斷 : %s", "%s 已断开 : %s"}},
    {900062, {"Open %s NG : %s", "開啟 %s 失敗 : %s", "打开 %s 失败 : %s"}},
    {900063, {"Save %s NG : %s", "儲存 %s 失敗 : %s", "保存 %s 失败 : %s"}},
    {900064, {"Last failure: %s", "上次失敗 : %s", "上次失败 : %s"}},
    {900065, {"Find COM%d: %s, ID %d (%d/%d)", "尋找 COM%d : %s，站號 %d (%d/%d)",
              "寻找 COM%d : %s，站号 %d (%d/%d)"}},
    {900066, {"Found: %s, ID %d", "找到裝置 : %s，站號 %d", "找到设备 : %s，站号 %d"}},
    {900067, {"Not found on COM%d: no reply", "COM%d 上找不到裝置 : 無回應", "COM%d 上找不到设备 : 无回应"}},
    {900068, {"Not found on COM%d: something garbled answered at %d setting%s",
              "COM%d 上找不到裝置 : 有 %d 種設定收到無法辨識的回應",
              "COM%d 上找不到设备 : 有 %d 种设定收到无法辨识的回应"}},
    {900069, {"Find cancelled after %d of %d probes", "尋找已取消 : 已試 %d / %d 次", "寻找已取消 : 已试 %d / %d 次"}},
    {900070, {"Find COM%d NG : %s", "尋找 COM%d 失敗 : %s", "寻找 COM%d 失败 : %s"}},
    {900071, {"No device answered on COM%d with slave ID %s.\n\nTry every slave ID from 1 to %d at ",
              "COM%d 上沒有裝置以站號 %s 回應。\n\n要以站號 1 到 %d 逐一嘗試下列設定嗎：",
              "COM%d 上没有设备以站号 %s 回应。\n\n要以站号 1 到 %d 逐一尝试下列设定吗："}},
    {900072, {"? This takes about %.0f s; Cancel stops it.", "？約需 %.0f 秒；按取消可停止。",
              "？约需 %.0f 秒；按取消可停止。"}},
    // Reasons of a failure, on the line under the status field
    {900080, {"no reply within %.3g s: check the cable, the slave ID and the line settings",
              "%.3g 秒內無回應：請檢查接線、站號及通訊設定", "%.3g 秒内无回应：请检查接线、站号及通讯设定"}},
    {900081, {"reply with a wrong checksum (%d bytes): check parity and baud rate, termination",
              "回應的檢查碼錯誤 (%d 位元組)：請檢查同位元、鮑率及終端電阻",
              "回应的校验码错误 (%d 字节)：请检查同位元、鲍率及终端电阻"}},
    {900082, {"reply of the wrong length (%d bytes): check the baud rate and parity",
              "回應長度錯誤 (%d 位元組)：請檢查鮑率及同位元", "回应长度错误 (%d 字节)：请检查鲍率及同位元"}},
    {900083, {"the port took only part of the request: check the adapter", "串列埠只送出部分請求：請檢查轉接器",
              "串口只送出部分请求：请检查转接器"}},
    {900084, {"the device refused: exception %d, %s", "裝置拒絕請求：例外碼 %d", "设备拒绝请求：异常码 %d"}},
    {900085, {"serial device absent", "串列埠裝置不存在", "串口设备不存在"}},
    {900086, {"COM name not mapped to a device", "此 COM 名稱沒有對應的裝置", "此 COM 名称没有对应的设备"}},
    {900087, {"permission denied (join group dialout)", "權限不足 (請加入 dialout 群組)",
              "权限不足 (请加入 dialout 组)"}},
    {900088, {"serial device busy: another program holds it", "串列埠忙碌：另一個程式正在使用",
              "串口忙碌：另一个程序正在使用"}},
    {900089, {"line settings refused", "通訊設定遭拒", "通讯设定被拒"}},
    {900090, {"serial input/output error", "串列埠輸入/輸出錯誤", "串口输入/输出错误"}},
    {900091, {"serial port not open", "串列埠未開啟", "串口未打开"}},
    {900092, {"the device was disconnected", "裝置已拔除", "设备已拔除"}},
    {900093, {"no viewer for the log: install xdg-utils or set TOVRA_VIEWER",
              "沒有可顯示記錄的程式：請安裝 xdg-utils 或設定 TOVRA_VIEWER",
              "没有可显示日志的程序：请安装 xdg-utils 或设定 TOVRA_VIEWER"}},
    {900094, {"the port was lost: the adapter was disconnected", "串列埠已中斷：轉接器已拔除",
              "串口已断开：转接器已拔除"}},
    {900095, {"the serial port failed: %s", "串列埠失敗：%s", "串口失败：%s"}},
    // Find device and Write: the reply checks, Verify, the EEPROM's unconfirmed store
    {900200, {"Verify", "驗證", "验证"}},
    {900201, {"Before the EEPROM command, read BR1 and BR2 back: a difference stops the Write and nothing is stored",
              "EEPROM 指令前先讀回 BR1 與 BR2：若有不同即停止寫入，不儲存任何值",
              "EEPROM 指令前先读回 BR1 与 BR2：若有不同即停止写入，不储存任何值"}},
    {900210, {"reply from another slave ID: a late reply, or two devices at one ID",
              "回應來自其他站號：延遲的回應，或兩台裝置同一站號", "回应来自其他站号：延迟的回应，或两台设备同一站号"}},
    {900211, {"reply with another function code: a late reply, or another master on the line",
              "回應的功能碼不符：延遲的回應，或線上另有主站", "回应的功能码不符：延迟的回应，或线上另有主站"}},
    {900212, {"reply with the wrong byte count: not the registers asked for",
              "回應的位元組數錯誤：不是所要求的暫存器", "回应的字节数错误：不是所要求的寄存器"}},
    {900213, {"acknowledgement of another address or value: a late reply to an earlier request",
              "確認的位址或數值不符：是先前請求的延遲回應", "确认的地址或数值不符：是先前请求的延迟回应"}},
    {900220, {"Not found on COM%d: a reply came later than the probe's limit (%.0f ms after the "
              "frames); for a slower device raise the limit (tovra-cli find --limit MS)",
              "COM%d 上找不到裝置 : 回應晚於探測時限 (訊框後 %.0f 毫秒)；裝置較慢時請放寬時限 "
              "(tovra-cli find --limit MS)",
              "COM%d 上找不到设备 : 回应晚于探测时限 (帧后 %.0f 毫秒)；设备较慢时请放宽时限 "
              "(tovra-cli find --limit MS)"}},
    {900221, {"Find not started: a Write is under way", "未開始尋找 : 寫入進行中", "未开始寻找 : 写入进行中"}},
    {900222, {"Write NG : %s reads back %d, not %d", "寫入失敗 : %s 讀回 %d，不是 %d",
              "写入失败 : %s 读回 %d，不是 %d"}},
    {900223, {"storing not confirmed: the device may have stored the values; read them back",
              "未確認已儲存：裝置可能已存入數值，請讀回確認", "未确认已储存：设备可能已存入数值，请读回确认"}},
    // A device baud-rate selector before a Read or a pick: its tooltip says so
    {900230, {"%s: not read yet", "%s：尚未讀取", "%s：尚未读取"}},
    {900240, {"Not found on COM%d: a reply came from another slave ID (%d), which did not answer a "
              "read of its own",
              "COM%d 上找不到裝置 : 回應來自其他站號 (%d)，以該站號讀取時卻無回應",
              "COM%d 上找不到设备 : 回应来自其他站号 (%d)，以该站号读取时却无回应"}},
    {900241, {"Not found on COM%d: a device answered at %d setting%s, but not a second read (BR1, BR2)",
              "COM%d 上找不到裝置 : 有 %d 種設定收到回應，但第二次讀取 (BR1、BR2) 未獲確認",
              "COM%d 上找不到设备 : 有 %d 种设定收到回应，但第二次读取 (BR1、BR2) 未获确认"}},
    {900300, {"No permission for this port:", "無權開啟此連接埠：", "无权打开此端口："}},
    {900301, {"Join group, then re-login:", "請加入群組後重新登入：", "请加入组后重新登录："}},
    {900302, {"Ask the admin for access.", "請向管理員申請權限。", "请向管理员申请权限。"}},
    {900303, {"Cannot write in this folder:", "無法寫入此資料夾：", "无法写入此文件夹："}},
    {900304, {"Tovra COMM already runs in:", "Tovra COMM 已在此執行：", "Tovra COMM 已在此运行："}},
    {900305, {"Use that window or close it.", "請使用該視窗或先關閉它。", "请使用该窗口或先关闭它。"}},
    {900310, {"no serial ports: plug in an adapter, or start tovra-devsim",
              "沒有串列埠：請插上轉接器，或啟動 tovra-devsim", "没有串口：请插上转接器，或启动 tovra-devsim"}},
};
const int ciLangS_Count = sizeof gcaLangS / sizeof gcaLangS[0];

const char *mf_Tovra_LangS__Text(int sid, int lang)
{
    const LangS *end = gcaLangS + ciLangS_Count;
    const LangS *row = std::lower_bound(gcaLangS, end, sid,
                                        [](const LangS &r, int id) { return r.sid < id; });
    if (row == end || row->sid != sid) {
        MessagePopup("", "Lang SID not fount");
        return nullptr;
    }
    if (lang < 0 || lang >= ciLang_Count)
        return nullptr;
    return row->text[lang];
}

const char *mf_Tovra_LangS__Translate(const char *english, int lang)
{
    if (lang < 0 || lang >= ciLang_Count)
        return english;
    for (int i = 0; i < ciLangS_Count; ++i)
        if (std::strcmp(gcaLangS[i].text[ciLang_EN], english) == 0)
            return gcaLangS[i].text[lang];
    return english;
}

int mf_Tovra_LangS__DataBase(int sid, int lang, char *dest, size_t size)
{
    const char *text = mf_Tovra_LangS__Text(sid, lang);
    if (!text)
        return 0;
    size_t n = std::strlen(text) + 1;
    if (n > size)
        return -1;
    std::memcpy(dest, text, n);
    return 0;
}
